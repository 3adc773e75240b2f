#pragma once

#include "WindowKind.h"
#include "common/DateTime.h"
#include "common/Messages.h"

#include <QString>
#include <functional>
#include <memory>
#include <vector>

class ArchiveCatalog;
class Autostart;
class FMain;
class RequestServer;
class RunHistory;
class RunObserver;
struct BackupSession;
struct RunRecord;
class RunQueue;
class SchedulerTick;
class SeenRuns;
class SessionRunner;
class SessionStore;
class SessionView;
class Settings;
class Windows;

// Start-up and the program-wide objects: the session database and the shared view of all
// sessions, the settings, the scheduler, the hidden main window.
class Application {
public:
    // `programDir` is where earlier versions kept the session database.
    Application(QString programDir, bool headless);
    ~Application();

    // Returns the process exit code to use when start-up ends early, or -1 when the program is
    // up and the event loop should run.
    int start();

    // Shows one of the tray menu's windows; false when there is no display to show it on.
    bool showWindow(WindowKind kind);

private:
    // The tray menu's windows and the requests of later starts that show them.
    void wireWindows();
    // Who watches a run: its event window or standard error, the history, the tray.
    std::shared_ptr<RunObserver> watchRun(const BackupSession& session);
    void runEnded(const RunRecord& run);
    void sessionsMissed(const std::vector<BackupSession>& missed);
    // The tray's tooltip (last run, next due session) and its failure mark.
    void updateStatus();
    // "run TITLE" from a later start; `reply` hears the outcome word once the run is over.
    void runForRequest(const QString& title, const std::function<void(const QString&)>& reply);

    QString m_programDir;
    bool m_headless;
    std::unique_ptr<SessionStore> m_store;
    std::unique_ptr<SessionView> m_tasksView;
    std::unique_ptr<RunHistory> m_history;
    std::unique_ptr<SeenRuns> m_seen;
    bool m_unseenFailure = false; // a run failed since the history window was last opened
    std::unique_ptr<Settings> m_settings;
    std::unique_ptr<Autostart> m_autostart;
    std::unique_ptr<Messages> m_messages;
    std::unique_ptr<SessionRunner> m_runner;
    std::unique_ptr<RunQueue> m_queue;
    std::unique_ptr<SchedulerTick> m_tick;
    std::unique_ptr<FMain> m_main;
    Clock m_clock = localNow;
    // Last, so that the windows go before the objects they use.
    // What the restore window and a restore's log learn of past runs; outlives the windows.
    std::unique_ptr<ArchiveCatalog> m_catalog;
    std::unique_ptr<Windows> m_windows;
    std::unique_ptr<RequestServer> m_requests;
};
