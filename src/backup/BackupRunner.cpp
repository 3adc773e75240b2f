#include "BackupRunner.h"

#include "store/SessionStore.h"

BackupRunner::BackupRunner(SessionStore& store, SessionRun run)
    : m_store(store)
    , m_run(std::move(run)) {
}

bool BackupRunner::run(const BackupSession& session, RunObserver& observer) const {
    QStringList paths;
    try {
        paths = m_store.sessionFiles(session.id);
    } catch (const VError& error) {
        LogLine(observer, errorLogText(error.record()), IconFailure);
        return true;
    }
    observer.pathsRead(paths);
    return m_run.LPack(paths, observer);
}
