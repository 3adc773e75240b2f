#include "Application.h"

#include "RequestServer.h"
#include "SocketCleanup.h"
#include "Windows.h"
#include "backup/ArchiveCatalog.h"
#include "common/Error.h"
#include "common/UserFolders.h"
#include "ftp/cFTP.h"
#include "schedule/RunQueue.h"
#include "schedule/SchedulerTick.h"
#include "store/Autostart.h"
#include "store/DatabaseFile.h"
#include "store/DbConnection.h"
#include "store/SessionStore.h"
#include "store/SessionView.h"
#include "store/Settings.h"
#include "ui/events/FEventRunner.h"
#include "ui/shell/BoxMessages.h"
#include "ui/shell/FMain.h"

#include <QCoreApplication>
#include <QDir>
#include <QTimer>
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
        DbConnection::open(database.path);
        m_store = std::make_unique<SessionStore>(DbConnection::database());
        m_tasksView = std::make_unique<SessionView>(*m_store);
    } catch (const VError& error) {
        std::fprintf(stderr, "vestrel: %s\n", qPrintable(error.description()));
        return 1;
    }
    if (!database.problem.isEmpty()) {
        writeToStandardError(QStringLiteral("vestrel: ") + database.problem);
    }

    m_settings = std::make_unique<Settings>();
    m_autostart = std::make_unique<Autostart>(QCoreApplication::applicationFilePath());
    if (m_headless) {
        m_messages = std::make_unique<StderrMessages>();
    } else {
        m_messages = std::make_unique<BoxMessages>();
    }
    if (!database.moved.isEmpty()) {
        // Once the tray is up, so that the box does not hold up the start.
        QTimer::singleShot(0, QCoreApplication::instance(),
                           [this, text = database.moved] { m_messages->show(text); });
    }
    const FtpFactory ftpFactory = [] {
        return std::make_unique<cFTP>();
    };
    m_runner = std::make_unique<FEventRunner>(
        BackupRunner(*m_store, SessionRun(*m_settings, ftpFactory, m_clock)), m_clock,
        m_headless ? FEventRunner::Display::Headless : FEventRunner::Display::Windows);
    m_queue = std::make_unique<RunQueue>(*m_store, m_clock, *m_messages, *m_runner);
    m_tick = std::make_unique<SchedulerTick>(*m_store, m_clock, *m_messages, *m_queue);
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
    wireWindows();
    return -1;
}
