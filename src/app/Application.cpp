#include "Application.h"

#include "RequestServer.h"
#include "Windows.h"
#include "common/Error.h"
#include "ftp/cFTP.h"
#include "schedule/RunQueue.h"
#include "schedule/SchedulerTick.h"
#include "store/DbConnection.h"
#include "store/SessionStore.h"
#include "store/SessionView.h"
#include "store/Settings.h"
#include "ui/events/FEventRunner.h"
#include "ui/shell/BoxMessages.h"
#include "ui/shell/FMain.h"

#include <QDir>
#include <cstdio>
#include <cstdlib>

Application::Application(QString programDir, bool headless)
    : m_programDir(std::move(programDir))
    , m_headless(headless) {
}

Application::~Application() = default;

int Application::start() {
    const QString dbPath = QDir(m_programDir).filePath(QLatin1String(DbConnection::FileName));
    try {
        DbConnection::open(dbPath);
        m_store = std::make_unique<SessionStore>(DbConnection::database());
        m_tasksView = std::make_unique<SessionView>(*m_store);
    } catch (const VError& error) {
        std::fprintf(stderr, "vestrel: %s\n", qPrintable(error.description()));
        return 1;
    }

    m_settings = std::make_unique<Settings>();
    if (m_headless) {
        m_messages = std::make_unique<StderrMessages>();
    } else {
        m_messages = std::make_unique<BoxMessages>();
    }
    const FtpFactory ftpFactory = [] {
        return std::make_unique<cFTP>();
    };
    m_runner = std::make_unique<FEventRunner>(
        BackupRunner(*m_store, SessionRun(*m_settings, ftpFactory, m_clock, m_programDir)), m_clock,
        m_headless ? FEventRunner::Display::Headless : FEventRunner::Display::Windows);
    m_queue = std::make_unique<RunQueue>(*m_store, m_clock, *m_messages, *m_runner);
    m_tick = std::make_unique<SchedulerTick>(*m_store, m_clock, *m_messages, *m_queue);
    m_tick->setLastStartFile(QDir(m_programDir).filePath(QStringLiteral("vestrel.laststart")));
    m_tick->setUptimeClock(SchedulerTick::machineUptime);
    m_main = std::make_unique<FMain>([this] { m_tick->tick(); }, !m_headless);
    m_main->setExitHandler([this] {
        // Exit ends the process at once: leaving the event loop would let a tick that waits in
        // a message box go on to run the rest of its group first. Nothing is half-written here:
        // database writes and settings are complete before any message or menu can show, a run
        // in the background writes its archive under a temporary name until it is whole, and
        // the single-copy lock goes with the process.
        std::fflush(stdout);
        std::fflush(stderr);
        std::_Exit(0);
    });
    wireWindows();
    return -1;
}
