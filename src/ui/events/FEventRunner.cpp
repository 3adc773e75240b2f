#include "FEventRunner.h"

#include "FEvent.h"

FEventRunner::FEventRunner(BackupRunner runner, Clock clock, Display display,
                           StderrRunLog::LineWriter errorOutput)
    : m_runner(std::move(runner))
    , m_clock(std::move(clock))
    , m_display(display)
    , m_errorOutput(std::move(errorOutput)) {
}

void FEventRunner::runSession(const BackupSession& session) {
    if (m_display == Display::Headless) {
        StderrRunLog log(session.name, m_clock, m_errorOutput);
        m_runner.run(session, log);
        return;
    }
    auto* window = new FEvent;
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->setSessionId(session.id);
    window->setTxtEvent(session.name);
    if (!session.autopack) {
        window->show();
    }
    const bool failed = m_runner.run(session, *window);
    if (failed && !window->isVisible()) {
        window->show();
    }
    if (!window->isVisible()) {
        // Nobody could ever close a window that was never shown.
        delete window;
    }
}
