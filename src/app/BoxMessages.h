#pragma once

#include "common/Messages.h"

// A modal box titled "Vestrel" with only OK and no icon. Its nested event loop lets timer ticks
// run while it is open, which the scheduler is built to tolerate.
class BoxMessages : public Messages {
public:
    void show(const QString& text) override;
};

// Without a display nobody can press OK: each message goes to standard error with the time.
class StderrMessages : public Messages {
public:
    void show(const QString& text) override;
};
