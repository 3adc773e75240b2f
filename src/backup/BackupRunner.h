#pragma once

#include "RunObserver.h"
#include "SessionRun.h"
#include "store/BackupSession.h"

#include <functional>
#include <memory>

class SessionStore;

// Runs one session as it is stored: reads its paths through the store, runs it, and hands the
// paths, each log line and the progress to an observer as they come.
class BackupRunner {
public:
    using Done = std::function<void(bool failed)>;

    BackupRunner(SessionStore& store, SessionRun run);

    // Runs the session and returns when it is over. Returns true when the run logged a failure.
    // Never raises: a session whose paths cannot be read is not run, and a red-cross line says
    // why.
    bool run(const BackupSession& session, RunObserver& observer) const;

    // Reads the paths on this thread, then packs and uploads on a thread of its own, so that
    // this one keeps answering. The observer hears of everything on this thread, in order, and
    // `done` follows the last line. The calling thread needs a running event loop.
    void start(const BackupSession& session, std::shared_ptr<RunObserver> observer,
               Done done) const;

private:
    bool readPaths(const BackupSession& session, RunObserver& observer, QStringList& paths) const;

    SessionStore& m_store;
    SessionRun m_run;
};
