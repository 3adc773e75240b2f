#include "Application.h"
#include "RequestServer.h"
#include "SocketCleanup.h"
#include "Windows.h"
#include "backup/HistoryCatalog.h"
#include "common/Error.h"
#include "common/UserFolders.h"
#include "ftp/cFTP.h"
#include "schedule/RunQueue.h"
#include "store/RunHistory.h"
#include "store/SeenRuns.h"
#include "store/Settings.h"
#include "ui/editor/FVodidore.h"
#include "ui/explorer/FBrowser.h"
#include "ui/history/FHistory.h"
#include "ui/options/fOptions.h"
#include "ui/restore/FRestore.h"
#include "ui/shell/FMain.h"

void Application::wireWindows() {
    m_windows = std::make_unique<Windows>();
    m_windows->setFactory(WindowKind::Editor, [this] {
        // "Run Now" waits its turn behind a run that goes on, as a scheduled run does.
        return new FVodidore(*m_store, m_clock, *m_messages,
                             [this](int sessionId) { m_queue->runNow(sessionId); });
    });
    m_windows->setFactory(WindowKind::Options,
                          [this] { return new fOptions(*m_settings, *m_autostart); });
    m_windows->setFactory(WindowKind::History, [this] {
        auto* history = new FHistory(*m_history);
        QObject::connect(
            history, &FHistory::restoreRequested, history,
            [this](int sessionId, const QString& archive) {
                showWindow(WindowKind::Restore);
                if (auto* restore = qobject_cast<FRestore*>(m_windows->window(WindowKind::Restore)))
                    restore->showArchive(sessionId, archive);
            });
        return history;
    });
    m_windows->setFactory(WindowKind::Explorer, [this] {
        return new FBrowser(*m_settings, [] { return std::make_unique<cFTP>(); });
    });

    m_catalog = std::make_unique<HistoryCatalog>(*m_history, *m_settings, localNow);
    m_windows->setFactory(WindowKind::Restore, [this] {
        return new FRestore(
            *m_settings, [] { return std::make_unique<cFTP>(); }, *m_catalog);
    });
    QObject::connect(m_main.get(), &FMain::restoreRequested, m_main.get(),
                     [this] { showWindow(WindowKind::Restore); });
    QObject::connect(m_main.get(), &FMain::openRequested, m_main.get(),
                     [this] { showWindow(WindowKind::Editor); });
    QObject::connect(m_main.get(), &FMain::browserRequested, m_main.get(),
                     [this] { showWindow(WindowKind::Explorer); });
    QObject::connect(m_main.get(), &FMain::optionsRequested, m_main.get(),
                     [this] { showWindow(WindowKind::Options); });
    QObject::connect(m_main.get(), &FMain::historyRequested, m_main.get(),
                     [this] { showWindow(WindowKind::History); });

    const std::string socket = UserFolders::socketPath();
    const QString path = QString::fromStdString(socket);
    m_requests = std::make_unique<RequestServer>(
        [this](WindowKind kind) { return showWindow(kind); },
        [this](const QString& title, const RequestServer::Reply& reply) {
            runForRequest(title, [reply](const QString& word) { reply(word.toUtf8()); });
        });
    const QString error = m_requests->listen(path);
    SocketCleanup::install(socket);
    if (!error.isEmpty()) {
        writeToStandardError(QStringLiteral("vestrel: later starts cannot reach this copy (") +
                             path + QStringLiteral("): ") + error);
    }
}

bool Application::showWindow(WindowKind kind) {
    if (m_headless) {
        return false;
    }
    if (kind == WindowKind::History) {
        // The user is looking at the failures now, also after a restart.
        try {
            m_seen->markSeen(m_history->newestId());
        } catch (const VError&) {
            // Then the mark comes back at the next start only.
        }
        if (m_unseenFailure) {
            m_unseenFailure = false;
            updateStatus();
        }
    }
    if (!m_windows->show(kind)) {
        static const char* const names[] = {"session editor", "options dialog", "FTP explorer",
                                            "history window", "restore window"};
        writeToStandardError(QStringLiteral("vestrel: this build has no ") +
                             QLatin1String(names[static_cast<int>(kind)]));
    }
    return true;
}
