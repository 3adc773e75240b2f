#include "Application.h"

#include "CommandRuns.h"
#include "RequestChannel.h"
#include "RequestServer.h"
#include "SocketCleanup.h"
#include "WatchedRunner.h"
#include "Windows.h"
#include "backup/ArchiveCatalog.h"
#include "backup/HistoryWriter.h"
#include "backup/StderrRunLog.h"
#include "common/Error.h"
#include "common/UserFolders.h"
#include "ftp/cFTP.h"
#include "schedule/RunQueue.h"
#include "schedule/SchedulerTick.h"
#include "store/Autostart.h"
#include "store/DatabaseFile.h"
#include "store/DbConnection.h"
#include "store/RunHistory.h"
#include "store/SeenRuns.h"
#include "store/SessionStore.h"
#include "store/SessionView.h"
#include "store/Settings.h"
#include "ui/events/FEventWatch.h"
#include "ui/history/FHistory.h"
#include "ui/shell/BoxMessages.h"
#include "ui/shell/FMain.h"

#include <QCoreApplication>
#include <QDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>

Application::Application(QString programDir, bool headless)
    : m_programDir(std::move(programDir))
    , m_headless(headless) {
}

Application::~Application() = default;

int Application::start() {
    const QString dataFolder = QString::fromStdString(UserFolders::dataFolder());
    DatabaseFile database;
    try {
        database = prepareDatabase(dataFolder, m_programDir);
        if (!database.problem.isEmpty()) {
            writeToStandardError(QStringLiteral("vestrel: ") + database.problem);
        }
        DbConnection::open(database.path);
        m_store = std::make_unique<SessionStore>(DbConnection::database());
        m_tasksView = std::make_unique<SessionView>(*m_store);
        m_history = std::make_unique<RunHistory>(m_store->database());
    } catch (const VError& error) {
        std::fprintf(stderr, "vestrel: %s\n", qPrintable(error.description()));
        return 1;
    }
    try {
        m_history->startUp();
    } catch (const VError& error) {
        writeToStandardError(QStringLiteral("vestrel: the run history cannot be tidied: ") +
                             errorLineText(error.record()));
    }

    m_seen = std::make_unique<SeenRuns>(
        QDir(dataFolder).filePath(QStringLiteral("vestrel.historyseen")));
    try {
        // The first start that keeps the mark has seen all there is.
        if (const std::optional<qint64> seen = m_seen->newestSeen())
            m_unseenFailure = m_history->badAfter(*seen);
        else
            m_seen->markSeen(m_history->newestId());
    } catch (const VError& error) {
        writeToStandardError(QStringLiteral("vestrel: the run history cannot be read: ") +
                             errorLineText(error.record()));
    }

    m_settings = std::make_unique<Settings>();
    m_autostart = std::make_unique<Autostart>(QCoreApplication::applicationFilePath());
    BoxMessages* boxes = nullptr;
    if (m_headless) {
        m_messages = std::make_unique<StderrMessages>();
    } else {
        m_messages = std::unique_ptr<Messages>(boxes = new BoxMessages);
    }
    if (!database.moved.isEmpty()) {
        // Once the tray is up, so that the box does not hold up the start.
        QTimer::singleShot(0, QCoreApplication::instance(),
                           [this, text = database.moved] { m_messages->show(text); });
    }
    const FtpFactory ftpFactory = [] {
        return std::make_unique<cFTP>();
    };
    BackupRunner runner(*m_store, SessionRun(*m_settings, ftpFactory, m_clock));
    runner.setHistory(m_history.get());
    m_runner = std::make_unique<WatchedRunner>(
        std::move(runner), [this](const BackupSession& session) { return watchRun(session); });
    m_queue = std::make_unique<RunQueue>(*m_store, m_clock, *m_messages, *m_runner);
    m_queue->setQuietSuccess([this] { return m_settings->isOn(Options::QuietSuccess); });
    m_tick = std::make_unique<SchedulerTick>(*m_store, m_clock, *m_messages, *m_queue);
    m_tick->setCatchUp([this] { return m_settings->isOn(Options::CatchUp); });
    m_tick->setMissedReport(
        [this](const std::vector<BackupSession>& missed) { sessionsMissed(missed); });
    m_tick->setLastStartFile(QDir(dataFolder).filePath(QStringLiteral("vestrel.laststart")));
    m_tick->setUptimeClock(SchedulerTick::machineUptime);
    m_main = std::make_unique<FMain>([this] { m_tick->tick(); }, !m_headless);
    m_main->setExitHandler([this] {
        // Exit ends the process at once: leaving the event loop would let a tick that waits in
        // a message box go on to run the rest of its group first. Nothing is half-written here:
        // database writes and settings are complete before any message or menu can show, a run
        // in the background writes its archive under a temporary name until it is whole, and
        // the single-copy lock goes with the process.
        SocketCleanup::run();
        std::fflush(stdout);
        std::fflush(stderr);
        std::_Exit(0);
    });
    if (boxes) {
        boxes->setNotifier([this](const QString& text) { return m_main->notify(text); });
    }
    // The next due session changes with every Save in the editor; a look twice a minute keeps
    // the tooltip close without the editor knowing of the tray.
    auto* statusTimer = new QTimer(m_main.get());
    statusTimer->setInterval(30 * 1000);
    QObject::connect(statusTimer, &QTimer::timeout, m_main.get(), [this] { updateStatus(); });
    statusTimer->start();
    updateStatus();
    wireWindows();
    return -1;
}

std::shared_ptr<RunObserver> Application::watchRun(const BackupSession& session) {
    // Ends the run's watch: the tray and the history window learn of it last, once it is kept.
    class Status : public RunObserver {
    public:
        explicit Status(Application& app)
            : m_app(app) {}
        void appendLine(const QString&, int) override {}
        void runEnded(const RunRecord& run) override { m_app.runEnded(run); }

    private:
        Application& m_app;
    };
    auto watchers = std::make_shared<RunWatchers>();
    if (m_headless) {
        watchers->add(std::make_shared<StderrRunLog>(session.name, m_clock));
    } else {
        watchers->add(watchInEventWindow(session));
    }
    watchers->add(std::make_shared<HistoryWriter>(*m_history));
    watchers->add(std::make_shared<Status>(*this));
    return watchers;
}

void Application::runEnded(const RunRecord& run) {
    m_unseenFailure = m_unseenFailure || isBad(run.outcome);
    updateStatus();
    if (auto* window = m_windows ? m_windows->window(WindowKind::History) : nullptr) {
        static_cast<FHistory*>(window)->reload();
    }
}

void Application::sessionsMissed(const std::vector<BackupSession>& missed) {
    std::vector<RunRecord> rows;
    for (const BackupSession& session : missed) {
        RunRecord run;
        run.sessionId = session.id;
        run.session = session.name;
        run.start = session.ntime.value_or(DateTime());
        run.end = run.start;
        run.outcome = RunOutcome::Missed;
        rows.push_back(run);
    }
    try {
        m_history->recordMissed(rows);
    } catch (const VError& error) {
        writeToStandardError(QStringLiteral("vestrel: missed runs not kept in the history: ") +
                             errorLineText(error.record()));
    }
    const int n = static_cast<int>(missed.size());
    m_messages->notify(n == 1 ? QStringLiteral("1 backup was missed while Vestrel was not running")
                              : QStringLiteral("%1 backups were missed while Vestrel was not "
                                               "running")
                                    .arg(n));
    m_unseenFailure = true;
    updateStatus();
}

void Application::updateStatus() {
    if (m_headless || !m_main) {
        return;
    }
    QStringList tip{QStringLiteral("Vestrel")};
    try {
        // The last backup: restores are kept in the history too, but back nothing up.
        const std::vector<RunRecord> recent = m_history->newest(10);
        const auto last = std::find_if(recent.begin(), recent.end(), [](const RunRecord& run) {
            return run.kind != RunKind::Restore;
        });
        if (last != recent.end()) {
            tip << QStringLiteral("Last run: %1, %2, %3")
                       .arg(last->session, outcomeWord(last->outcome),
                            last->start.toStoredText().left(16));
        }
        std::optional<BackupSession> next;
        const DateTime now = m_clock();
        // A one-time session that has run keeps its time; it is not the next one.
        m_store->readSessionsWhile([&next, &now](const BackupSession& row) {
            if (row.ntime && *row.ntime >= now) {
                next = row;
            }
            return !next;
        });
        if (next) {
            tip << QStringLiteral("Next: %1 at %2")
                       .arg(next->name, next->ntime->toStoredText().left(16));
        }
    } catch (const VError&) {
        // The tooltip is a courtesy; the next look tries again.
    }
    m_main->setStatus(tip.join(QLatin1Char('\n')), m_unseenFailure);
}

void Application::runForRequest(const QString& title,
                                const std::function<void(const QString&)>& reply) {
    std::optional<BackupSession> session;
    try {
        session = CommandRuns::sessionNamed(*m_store, title);
    } catch (const VError& error) {
        reply(outcomeWord(RunOutcome::Failed));
        return;
    }
    if (!session) {
        reply(QString::fromLatin1(RequestChannel::UnknownTitle.data(),
                                  RequestChannel::UnknownTitle.size()));
        return;
    }
    m_queue->runNow(session->id, RunKind::Command,
                    [reply](RunOutcome outcome) { reply(outcomeWord(outcome)); });
}
