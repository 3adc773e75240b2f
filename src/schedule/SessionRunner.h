#pragma once

#include "store/BackupSession.h"

// Runs one backup session to its end (archive, upload, log) and returns when it is over. The
// scheduler tick and "Run Now" start runs through it; the event window is its production form.
class SessionRunner {
public:
    virtual ~SessionRunner() = default;
    virtual void runSession(const BackupSession& session) = 0;
};
