#include "FEventWatch.h"

#include "FEvent.h"

#include <QPointer>

namespace {

// Hands the run to its window for as long as the window lives: the user may close it while the
// run goes on.
class WindowView : public RunObserver {
public:
    explicit WindowView(FEvent* window)
        : m_window(window) {}

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
    void runEnded(const RunRecord& run) override {
        FEvent* shown = m_window;
        if (!shown) {
            return;
        }
        shown->runFinished();
        if (isBad(run.outcome) && !shown->isVisible()) {
            shown->show();
        }
        if (!shown->isVisible()) {
            // Nobody could ever close a window that was never shown.
            delete shown;
        }
    }

private:
    QPointer<FEvent> m_window;
};

} // namespace

std::shared_ptr<RunObserver> watchInEventWindow(const BackupSession& session) {
    auto* window = new FEvent;
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->setSessionId(session.id);
    window->setTxtEvent(session.name);
    if (!session.autopack) {
        window->show();
    }
    return std::make_shared<WindowView>(window);
}
