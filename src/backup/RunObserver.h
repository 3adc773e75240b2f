#pragma once

#include "EventLog.h"
#include "RunProgress.h"

#include <QStringList>

// Whoever watches a run: the event window, or standard error without a display. It learns the
// paths the run packs before packing starts, then each log line as the run writes it, and how
// far the run has come.
class RunObserver : public EventLog {
public:
    virtual void pathsRead(const QStringList& paths) = 0;
    virtual void progress(const RunProgress&) {}
};
