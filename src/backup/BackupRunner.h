#pragma once

#include "RunObserver.h"
#include "SessionRun.h"
#include "store/BackupSession.h"

#include <functional>
#include <memory>

class RunHistory;
class SessionStore;

// Runs one session as it is stored: reads its paths through the store, runs it, and hands the
// run's start, the paths, each log line, the progress and the ended run to an observer as they
// come. The ended run is the one object every watcher (window, history, standard error) shares.
class BackupRunner {
public:
    using Done = std::function<void(const RunRecord& run)>;

    BackupRunner(SessionStore& store, SessionRun run);

    // Runs the session and returns the ended run. Never raises: a session whose paths cannot be
    // read is not run, and a red-cross line says why.
    RunRecord run(const BackupSession& session, RunKind kind, RunObserver& observer) const;

    // Reads the paths on this thread, then packs and uploads on a thread of its own, so that
    // this one keeps answering. The observer hears of everything on this thread, in order, and
    // `done` follows the last line. The calling thread needs a running event loop.
    void start(const BackupSession& session, RunKind kind, std::shared_ptr<RunObserver> observer,
               Done done) const;

    // Where the session's earlier archives are found and what a run did to them is kept; without
    // it, no earlier archive is sent or deleted.
    void setHistory(RunHistory* history) { m_history = history; }

private:
    RunSession readSession(const BackupSession& session, RunObserver& observer) const;
    bool readPaths(const BackupSession& session, RunObserver& observer, QStringList& paths) const;

    SessionStore& m_store;
    SessionRun m_run;
    RunHistory* m_history = nullptr;
};
