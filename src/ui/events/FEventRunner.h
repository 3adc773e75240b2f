#pragma once

#include "backup/BackupRunner.h"
#include "backup/StderrRunLog.h"
#include "schedule/SessionRunner.h"

// Runs each session in the background through the core runner and shows it in an event window
// of its own. The window appears when the run starts, unless the session is to run hidden; a
// run that logged a failure shows its window anyway, so the user learns of it. Shown windows
// live until the user closes them. Without a display no widget is made: the log lines go to
// standard error.
class FEventRunner : public SessionRunner {
public:
    enum class Display { Windows, Headless };

    FEventRunner(BackupRunner runner, Clock clock, Display display,
                 StderrRunLog::LineWriter errorOutput = {});

    void runSession(const BackupSession& session, Finished finished) override;

private:
    BackupRunner m_runner;
    Clock m_clock;
    Display m_display;
    StderrRunLog::LineWriter m_errorOutput;
};
