#pragma once

#include "WindowKind.h"

#include <QPointer>
#include <QWidget>
#include <array>
#include <functional>

// The windows the tray menu opens. Each exists once: it is created the first time it is asked
// for and destroyed when it closes, so the next opening loads it afresh; asking for it while it
// is open brings it to the front on the current workspace as it is, without reloading.
class Windows {
public:
    using Factory = std::function<QWidget*()>;

    Windows() = default;
    ~Windows();
    Windows(const Windows&) = delete;
    Windows& operator=(const Windows&) = delete;

    void setFactory(WindowKind kind, Factory factory);
    // False when no factory is set for kind.
    bool show(WindowKind kind);
    // The open window of that kind, or null.
    QWidget* window(WindowKind kind) const;

private:
    struct Slot {
        Factory factory;
        QPointer<QWidget> widget;
    };
    static void bringToFront(QWidget* widget);

    std::array<Slot, WindowKinds> m_slots;
};
