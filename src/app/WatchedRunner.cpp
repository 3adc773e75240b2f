#include "WatchedRunner.h"

WatchedRunner::WatchedRunner(BackupRunner runner, Watch watch)
    : m_runner(std::move(runner))
    , m_watch(std::move(watch)) {
}

void WatchedRunner::runSession(const BackupSession& session, RunKind kind, Finished finished) {
    m_runner.start(session, kind, m_watch(session),
                   [finished](const RunRecord& run) { finished(run.outcome); });
}
