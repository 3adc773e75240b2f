#pragma once

#include <QObject>
#include <QPointer>
#include <functional>
#include <vector>

class QWidget;

// Keeps the focus in a text box whose text cannot be accepted: before the focus moves from a
// guarded box to another control of the window (Tab, Shift+Tab or a click), the box's check runs;
// when it refuses, the key or click is dropped and the box keeps the focus, silently. A check
// that accepts may rewrite the box's text. Switching to another window is not checked.
class FocusKeeper : public QObject {
    Q_OBJECT

public:
    using Check = std::function<bool()>;

    explicit FocusKeeper(QWidget* window);

    void guard(QWidget* box, Check check);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Guarded {
        QPointer<QWidget> box;
        Check check;
    };
    const Guarded* focusedBox() const;
    const Guarded* focusedBoxLeaving(QObject* box, Qt::FocusReason reason) const;
    bool leavesFor(const Guarded& guarded, QObject* target) const;

    QWidget* m_window;
    std::vector<Guarded> m_boxes;
};
