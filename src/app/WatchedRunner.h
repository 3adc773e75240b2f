#pragma once

#include "backup/BackupRunner.h"
#include "schedule/SessionRunner.h"

#include <functional>
#include <memory>

// Runs each session in the background through the core runner, watched by whatever `watch`
// attaches to that run (the event window or standard error, the history, the tray).
class WatchedRunner : public SessionRunner {
public:
    using Watch = std::function<std::shared_ptr<RunObserver>(const BackupSession&)>;

    WatchedRunner(BackupRunner runner, Watch watch);

    void runSession(const BackupSession& session, RunKind kind, Finished finished) override;

private:
    BackupRunner m_runner;
    Watch m_watch;
};
