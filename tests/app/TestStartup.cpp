#include "TestDatabase.h"
#include "TestFiles.h"
#include "ui/shell/FMain.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <csignal>
#include <sys/resource.h>

// Copies of the built program in a temp folder, on the X server the test runs under (xvfb-run) or
// without a display, watched as a user would see them: icons docked in trayer's panel, windows on
// the screen. The hidden main window is driven in process.
class TestStartup : public QObject {
    Q_OBJECT

    // A copy with the private folders, started without the environment variables named in unset.
    QProcess* start(const QStringList& arguments, const QStringList& unset = {},
                    const std::function<void()>& inChild = {}) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_dir->filePath(QStringLiteral("config")));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_dir->filePath(QStringLiteral("runtime")));
        env.insert(QStringLiteral("XDG_DATA_HOME"), m_dir->filePath(QStringLiteral("data")));
        env.insert(QStringLiteral("HOME"), m_dir->filePath(QStringLiteral("home")));
        for (const QString& name : unset + QStringList{QStringLiteral("QT_QPA_PLATFORM"),
                                                       QStringLiteral("WAYLAND_DISPLAY")}) {
            env.remove(name);
        }
        auto& process = m_processes.emplace_back(std::make_unique<QProcess>());
        process->setProcessEnvironment(env);
        if (inChild) {
            process->setChildProcessModifier(inChild);
        }
        process->start(m_dir->filePath(QStringLiteral("vestrel")), arguments);
        // Until the loop hears of the start, state() says Starting even when it runs.
        process->waitForStarted();
        return process.get();
    }

    // The lines an X tool prints: the command's words, then one argument that may hold blanks.
    static QStringList x(const QString& command, const QString& last) {
        const QStringList words = command.split(QLatin1Char(' ')) << last;
        QProcess tool;
        tool.start(words.first(), words.mid(1));
        tool.waitForFinished();
        return QString::fromLocal8Bit(tool.readAllStandardOutput())
            .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }

    static QString panel() {
        return x(QStringLiteral("xdotool search --onlyvisible --classname"),
                 QStringLiteral("^panel$"))
            .value(0);
    }

    // trayer now and then cannot open a display that was just started: start it again.
    bool trayUp() {
        if (m_tray.state() == QProcess::NotRunning) {
            m_tray.start(QStringLiteral("trayer"), {});
            m_tray.waitForStarted();
        }
        return !panel().isEmpty();
    }

    // A docked icon's line names its window class: 0x400006 "Vestrel": ("vestrel" "Vestrel")
    static qsizetype icons() {
        return x(QStringLiteral("xwininfo -tree -id"), panel())
            .filter(QStringLiteral("(\"vestrel\" "))
            .size();
    }

    // The top-level windows of the process titled caption (the docked icons lie deeper).
    static qsizetype windows(const QProcess* program, const QString& caption) {
        return x(QStringLiteral("xdotool search --all --onlyvisible --maxdepth 1 --pid %1 --name")
                     .arg(program->processId()),
                 QLatin1Char('^') + caption + QLatin1Char('$'))
            .size();
    }

    // Whether the process holds the single-copy lock, as the kernel lists its file locks.
    static bool holdsLock(const QProcess* p) {
        return QString::fromLatin1(readFile(QStringLiteral("/proc/locks")))
            .contains(QRegularExpression(
                QStringLiteral("FLOCK +ADVISORY +WRITE +%1 ").arg(p->processId())));
    }

    std::unique_ptr<QTemporaryDir> m_dir;
    std::vector<std::unique_ptr<QProcess>> m_processes;
    QProcess m_tray;

private slots:
    void init() {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(
            QFile::copy(QStringLiteral(VESTREL_EXE), m_dir->filePath(QStringLiteral("vestrel"))));
        QVERIFY(QDir(m_dir->path())
                    .mkdir("runtime", QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    }

    void cleanup() {
        m_tray.kill();
        m_tray.waitForFinished();
        for (const auto& process : m_processes) {
            process->kill();
            process->waitForFinished();
        }
        m_processes.clear();
    }

    void secondStartEndsSilently() {
        QProcess* first = start({});
        QTRY_VERIFY_WITH_TIMEOUT(holdsLock(first), 10000);

        // Started where XDG_RUNTIME_DIR is unset (a service, a log-in over ssh), the second copy
        // must not get as far as Qt, which would complain about it.
        QProcess* second = start({}, {QStringLiteral("XDG_RUNTIME_DIR")});
        QVERIFY(second->waitForFinished(10000));
        QCOMPARE(second->exitStatus(), QProcess::NormalExit);
        QCOMPARE(second->exitCode(), 0);
        QCOMPARE(second->readAllStandardError(), QByteArray());
        QCOMPARE(second->readAllStandardOutput(), QByteArray());
        QCOMPARE(first->state(), QProcess::Running);

        // Once the first copy is gone, a new start runs again (a dead copy's lock does not count).
        first->kill();
        QVERIFY(first->waitForFinished(10000));
        QProcess* third = start({});
        QTRY_VERIFY_WITH_TIMEOUT(holdsLock(third), 10000);
    }

    // The database lives in a private data folder. One beside the program (where earlier
    // versions kept it) is moved there once and the user told; a move that fails half-way (here
    // the file size limit stands for a full disk) leaves it where it is, untouched, and nothing
    // of it in the data folder.
    void databaseInTheDataFolder_data() {
        QTest::addColumn<int>("oldRows"); // sessions in a database beside the program; -1: none
        QTest::addColumn<bool>("diskFull");
        QTest::newRow("first start") << -1 << false;
        QTest::newRow("old database moved once") << 300 << false;
        QTest::newRow("move fails") << 300 << true;
    }
    void databaseInTheDataFolder() {
        QFETCH(int, oldRows);
        QFETCH(bool, diskFull);
        const QString old = m_dir->filePath(QStringLiteral("vestrel.mdb"));
        const QString data = m_dir->filePath(QStringLiteral("data/vestrel"));
        if (oldRows >= 0) {
            TestDatabase::createFromSchema(old);
            QProcess::execute("sqlite3", {old, QStringLiteral("with recursive n(i) as (select 1 "
                                                              "union all select i+1 from n where "
                                                              "i < %1) insert into Tasks (Name) "
                                                              "select 'S' || i from n")
                                                   .arg(oldRows)});
        }
        const QByteArray before = readFile(old);
        for (int round = 0; round < 2; ++round) {
            QProcess* program = start({}, {QStringLiteral("DISPLAY")}, [diskFull] {
                const rlimit limit{4096, 4096};
                if (diskFull) {
                    ::signal(SIGXFSZ, SIG_IGN);
                    ::setrlimit(RLIMIT_FSIZE, &limit);
                }
            });
            const bool told = oldRows >= 0 && !diskFull && round == 0;
            QByteArray err;
            QTRY_VERIFY_WITH_TIMEOUT(
                (err += program->readAllStandardError()).contains("Cannot move") ||
                    (QFile::exists(data + "/vestrel.mdb") && err.contains("were moved") == told),
                10000);
            QCOMPARE(QFileInfo(data).permissions() & 0x0777,
                     QFile::ReadUser | QFile::WriteUser | QFile::ExeUser);
            QCOMPARE(QFile::exists(data + "/vestrel.mdb"), !diskFull);
            QCOMPARE(QDir(data).entryList({"*.part"}, QDir::Files), QStringList());
            QCOMPARE(readFile(old), diskFull ? before : QByteArray());
            if (oldRows >= 0 && !diskFull) {
                QCOMPARE(readFile(old + ".moved"), before);
                QVERIFY(readFile(old + ".moved.txt").contains(data.toUtf8()));
                QCOMPARE(QProcess::execute("sqlite3", {data + "/vestrel.mdb", ".output /dev/null",
                                                       "select count(*) from Tasks"}),
                         0);
            }
            cleanup();
        }
    }

    // The request socket goes with the program, however it is asked to end.
    void socketRemovedAtTheEnd_data() {
        QTest::addColumn<int>("signal");
        QTest::newRow("SIGTERM") << SIGTERM;
        QTest::newRow("SIGINT") << SIGINT;
    }
    void socketRemovedAtTheEnd() {
        QFETCH(int, signal);
        QProcess* program = start({}, {QStringLiteral("DISPLAY")});
        const QDir runtime(m_dir->filePath(QStringLiteral("runtime")));
        QTRY_COMPARE_WITH_TIMEOUT(runtime.entryList(QDir::System).size(), 1, 10000);
        ::kill(pid_t(program->processId()), signal);
        QVERIFY(program->waitForFinished(10000));
        QCOMPARE(runtime.entryList(QDir::System), QStringList());
    }

    void noTrayAtStartThenTray() {
        QProcess* program = start({});
        QByteArray err;
        QTRY_VERIFY_WITH_TIMEOUT((err += program->readAllStandardError()).contains("--open"),
                                 10000);
        // One line, and one that tells how to reach the windows.
        QCOMPARE(err.count("vestrel:"), 1);
        QVERIFY2(err.contains("--options"), err.constData());

        QTRY_VERIFY_WITH_TIMEOUT(trayUp(), 15000);
        QTRY_COMPARE_WITH_TIMEOUT(icons(), 1, 10000);
        QCOMPARE(program->state(), QProcess::Running);
    }

    void laterStartsGoToTheRunningCopy_data() {
        QTest::addColumn<QStringList>("first");
        QTest::addColumn<QStringList>("later");
        QTest::addColumn<QString>("caption"); // of the window that shows
        QTest::newRow("editor") << QStringList() << QStringList{"--open"} << "Vestrel";
        QTest::newRow("options") << QStringList() << QStringList{"--options"} << "Vestrel Options";
        QTest::newRow("explorer") << QStringList() << QStringList{"--explorer"}
                                  << "Vestrel FTP Explorer";
        // The options are read alike for a first start and a later one: --open stands for all.
        QTest::newRow("first start opens") << QStringList{"--open"} << QStringList() << "Vestrel";
    }

    void laterStartsGoToTheRunningCopy() {
        QFETCH(QStringList, first);
        QFETCH(QStringList, later);
        QFETCH(QString, caption);
        QTRY_VERIFY_WITH_TIMEOUT(trayUp(), 15000);
        QProcess* program = start(first);
        QTRY_COMPARE_WITH_TIMEOUT(icons(), 1, 10000);

        for (int round = 0; round < 2; ++round) {
            QProcess* copy = start(later);
            QVERIFY(copy->waitForFinished(15000));
            QCOMPARE(copy->exitCode(), 0);
            QCOMPARE(copy->readAllStandardError(), QByteArray());
            QCOMPARE(copy->readAllStandardOutput(), QByteArray());
            // Shown by the running copy, and the second time the same window again.
            QTRY_COMPARE_WITH_TIMEOUT(windows(program, caption), 1, 10000);
        }
        QCOMPARE(program->state(), QProcess::Running);
        QCOMPARE(icons(), 1);
    }

    void copyWithoutDisplayCannotShowWindows() {
        const QStringList headless{QStringLiteral("DISPLAY")};
        QProcess* program = start({}, headless);
        // A later start waits for the lock holder to listen.
        QTRY_VERIFY_WITH_TIMEOUT(holdsLock(program), 10000);
        QProcess* later = start({QStringLiteral("--options")}, headless);
        QVERIFY(later->waitForFinished(15000));
        QCOMPARE(later->exitCode(), 1);
        QVERIFY(later->readAllStandardError().contains("no display"));
        QCOMPARE(program->state(), QProcess::Running);
    }

    void mainWindowTimerAndExit() {
        int ticks = 0;
        FMain main([&] { ++ticks; }, false);
        QTRY_VERIFY_WITH_TIMEOUT(ticks >= 2, 5000);

        auto* exit = main.menu()->findChild<QAction*>(QStringLiteral("mnuExit"));
        QTimer::singleShot(0, exit, &QAction::trigger);
        QCOMPARE(QApplication::exec(), 0);
        QVERIFY(!main.timer()->isActive());

        bool ended = false;
        main.setExitHandler([&] { ended = true; });
        exit->trigger();
        QVERIFY(ended);
    }
};

QTEST_MAIN(TestStartup)
#include "TestStartup.moc"
