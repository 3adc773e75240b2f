#pragma once

#include "store/BackupSession.h"
#include "store/RunRecord.h"

#include <functional>

// Runs one backup session (archive, upload, log). The run may go on after runSession returns;
// `finished` is called on the caller's thread once it is over (at once by a runner that works
// synchronously).
class SessionRunner {
public:
    using Finished = std::function<void(RunOutcome)>;

    virtual ~SessionRunner() = default;
    virtual void runSession(const BackupSession& session, RunKind kind, Finished finished) = 0;
};
