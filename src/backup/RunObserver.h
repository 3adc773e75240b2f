#pragma once

#include "EventLog.h"
#include "RunProgress.h"
#include "store/RunRecord.h"

#include <QStringList>
#include <memory>
#include <vector>

// Whoever watches a run: the event window, the history, standard error without a display. It
// learns that the run starts, the paths it packs before packing starts, then each log line as
// the run writes it, how far it has come, and at last the whole run with its outcome.
class RunObserver : public EventLog {
public:
    virtual void runStarted(const RunRecord&) {}
    virtual void pathsRead(const QStringList&) {}
    virtual void progress(const RunProgress&) {}
    void clear() override {}
    virtual void runEnded(const RunRecord&) {}
};

// One run watched by several observers, each hearing everything in the same order.
class RunWatchers : public RunObserver {
public:
    void add(std::shared_ptr<RunObserver> observer) { m_observers.push_back(std::move(observer)); }

    void runStarted(const RunRecord& run) override;
    void pathsRead(const QStringList& paths) override;
    void appendLine(const QString& text, int icon) override;
    void clear() override;
    void progress(const RunProgress& progress) override;
    void runEnded(const RunRecord& run) override;

private:
    std::vector<std::shared_ptr<RunObserver>> m_observers;
};
