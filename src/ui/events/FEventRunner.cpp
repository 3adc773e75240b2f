#include "FEventRunner.h"

#include "FEvent.h"

#include <QPointer>

namespace {

// Hands the run to its window for as long as the window lives: the user may close it while the
// run goes on.
class WindowView : public RunObserver {
public:
    explicit WindowView(FEvent* window)
        : m_window(window) {}

    FEvent* window() const { return m_window; }

    void pathsRead(const QStringList& paths) override {
        if (m_window) {
            m_window->pathsRead(paths);
        }
    }
    void appendLine(const QString& text, int icon) override {
        if (m_window) {
            m_window->appendLine(text, icon);
        }
    }
    void clear() override {
        if (m_window) {
            m_window->clear();
        }
    }
    void progress(const RunProgress& progress) override {
        if (m_window) {
            m_window->progress(progress);
        }
    }

private:
    QPointer<FEvent> m_window;
};

} // namespace

FEventRunner::FEventRunner(BackupRunner runner, Clock clock, Display display,
                           StderrRunLog::LineWriter errorOutput)
    : m_runner(std::move(runner))
    , m_clock(std::move(clock))
    , m_display(display)
    , m_errorOutput(std::move(errorOutput)) {
}

void FEventRunner::runSession(const BackupSession& session, Finished finished) {
    if (m_display == Display::Headless) {
        m_runner.start(session,
                       std::make_shared<StderrRunLog>(session.name, m_clock, m_errorOutput),
                       [finished](bool) { finished(); });
        return;
    }
    auto* window = new FEvent;
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->setSessionId(session.id);
    window->setTxtEvent(session.name);
    if (!session.autopack) {
        window->show();
    }
    auto view = std::make_shared<WindowView>(window);
    m_runner.start(session, view, [view, finished](bool failed) {
        if (FEvent* shown = view->window()) {
            shown->runFinished();
            if (failed && !shown->isVisible()) {
                shown->show();
            }
            if (!shown->isVisible()) {
                // Nobody could ever close a window that was never shown.
                delete shown;
            }
        }
        finished();
    });
}
