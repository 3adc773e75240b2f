#pragma once

#include "SessionRun.h"
#include "SessionRunner.h"

#include <functional>

// Runs each session in an event window of its own. The window appears when the run starts,
// unless the session is to run hidden; a run that logged a failure shows its window anyway, so
// the user learns of it. Shown windows live until the user closes them.
// Without a display no window is shown and every log line goes to standard error instead.
class FEventRunner : public SessionRunner {
public:
    enum class Display { Windows, Headless };
    // Receives each log line in headless mode, one line of text without line end.
    using LineWriter = std::function<void(const QString& line)>;

    FEventRunner(Settings settings, FtpFactory ftpFactory, Clock clock, QString programFolder,
                 Display display = Display::Windows, LineWriter errorOutput = {});

    void runSession(const BackupSession& session) override;

private:
    Settings m_settings;
    FtpFactory m_ftpFactory;
    Clock m_clock;
    QString m_programFolder;
    Display m_display;
    LineWriter m_errorOutput;
};
