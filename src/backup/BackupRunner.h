#pragma once

#include "RunObserver.h"
#include "SessionRun.h"
#include "store/BackupSession.h"

class SessionStore;

// Runs one session as it is stored: reads its paths through the store, runs it, and hands the
// paths and each log line to an observer as they come.
class BackupRunner {
public:
    BackupRunner(SessionStore& store, SessionRun run);

    // Returns true when the run logged a failure. Never raises: a session whose paths cannot be
    // read is not run, and a red-cross line says why.
    bool run(const BackupSession& session, RunObserver& observer) const;

private:
    SessionStore& m_store;
    SessionRun m_run;
};
