#pragma once

#include "common/Messages.h"

#include <functional>

// A modal box titled "Vestrel" with only OK and no icon. Its nested event loop lets timer ticks
// run while it is open, which the scheduler is built to tolerate.
//
// "Impossible!" is not opened on top of itself: a tick running inside that box meets the same
// session and would otherwise stack a new box every 300 ms until the user answered the first.
class BoxMessages : public Messages {
public:
    using Notifier = std::function<bool(const QString& text)>;

    void show(const QString& text) override;
    void warn(const QString& text) override;
    // Through the notifier (the tray's balloon); a box when it cannot show it.
    void notify(const QString& text) override;
    void setNotifier(Notifier notifier);

private:
    void open(const QString& text, bool warning);

    bool m_impossibleOpen = false;
    Notifier m_notifier;
};

// Without a display nobody can press OK: each message goes to standard error with the time.
class StderrMessages : public Messages {
public:
    void show(const QString& text) override;
};
