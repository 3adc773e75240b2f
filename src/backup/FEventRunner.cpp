#include "FEventRunner.h"

#include "FEvent.h"
#include "common/Error.h"

FEventRunner::FEventRunner(Settings settings, FtpFactory ftpFactory, Clock clock,
                           QString programFolder, Display display, LineWriter errorOutput)
    : m_settings(std::move(settings))
    , m_ftpFactory(std::move(ftpFactory))
    , m_clock(std::move(clock))
    , m_programFolder(std::move(programFolder))
    , m_display(display)
    , m_errorOutput(errorOutput ? std::move(errorOutput) : LineWriter(writeToStandardError)) {
}

void FEventRunner::runSession(const BackupSession& session) {
    auto* window = new FEvent(SessionRun(m_settings, m_ftpFactory, m_clock, m_programFolder));
    window->setAttribute(Qt::WA_DeleteOnClose);
    if (m_display == Display::Headless) {
        window->setLogEcho([this, name = session.name](const QString& text, int icon) {
            m_errorOutput(
                QStringLiteral("%1 %2 %3: %4")
                    .arg(m_clock().toStoredText(),
                         icon == IconFailure ? QStringLiteral("[failed]") : QStringLiteral("[ok]"),
                         name, text));
        });
    }
    window->setSessionId(session.id);
    window->setTxtEvent(session.name);

    const bool windows = m_display == Display::Windows;
    if (windows && !session.autopack) {
        window->show();
    }
    const bool failed = window->LPack();
    if (windows && failed && !window->isVisible()) {
        window->show();
    }
    if (!window->isVisible()) {
        // Nobody could ever close a window that was never shown.
        delete window;
    }
}
