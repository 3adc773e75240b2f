#include "TestDatabase.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

// Copies of the built program on the X server the test runs under (xvfb-run), watched as a user
// would see them: icons docked in trayer's panel, windows on the screen.
class TestForwarding : public QObject {
    Q_OBJECT

    QProcess* start(const QStringList& arguments, bool withDisplay = true) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("QT_QPA_PLATFORM"));
        env.remove(QStringLiteral("WAYLAND_DISPLAY"));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_dir->filePath(QStringLiteral("config")));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_dir->filePath(QStringLiteral("runtime")));
        if (!withDisplay) {
            env.remove(QStringLiteral("DISPLAY"));
        }
        auto& process = m_processes.emplace_back(std::make_unique<QProcess>());
        process->setProcessEnvironment(env);
        process->start(m_exe, arguments);
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

    static QString stderrOf(QProcess* process) {
        return QString::fromLocal8Bit(process->readAllStandardError());
    }

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_exe;
    std::vector<std::unique_ptr<QProcess>> m_processes;
    QProcess m_tray;

private slots:
    void init() {
        m_dir = std::make_unique<QTemporaryDir>();
        m_exe = m_dir->filePath(QStringLiteral("vestrel"));
        QVERIFY(QFile::copy(QStringLiteral(VESTREL_EXE), m_exe));
        TestDatabase::createFromSchema(m_dir->filePath(QStringLiteral("vestrel.mdb")));
        QVERIFY(QDir(m_dir->path()).mkdir(QStringLiteral("runtime")));
        QFile::setPermissions(m_dir->filePath(QStringLiteral("runtime")),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    void cleanup() {
        m_tray.kill();
        m_tray.waitForFinished();
        for (const auto& process : m_processes) {
            process->kill();
            process->waitForFinished();
        }
        m_processes.clear();
        m_dir.reset();
    }

    void noTrayAtStartThenTray() {
        QProcess* program = start({});
        QString err;
        QTRY_VERIFY_WITH_TIMEOUT((err += stderrOf(program)).contains(QLatin1String("--open")),
                                 10000);
        // One line, and one that tells how to reach the windows.
        const QStringList lines =
            err.split(QLatin1Char('\n'), Qt::SkipEmptyParts).filter(QStringLiteral("vestrel:"));
        QCOMPARE(lines.size(), 1);
        QVERIFY2(lines[0].contains(QLatin1String("--options")), qPrintable(lines[0]));

        QTRY_VERIFY_WITH_TIMEOUT(trayUp(), 15000);
        QTRY_COMPARE_WITH_TIMEOUT(icons(), 1, 10000);
        QCOMPARE(program->state(), QProcess::Running);
    }

    void laterStartsGoToTheRunningCopy_data() {
        QTest::addColumn<QStringList>("first");
        QTest::addColumn<QStringList>("later");
        QTest::addColumn<QString>("caption"); // of the window that shows
        const QString open = QStringLiteral("--open");
        QTest::newRow("editor") << QStringList{} << QStringList{open} << QStringLiteral("Vestrel");
        QTest::newRow("options") << QStringList{} << QStringList{QStringLiteral("--options")}
                                 << QStringLiteral("Vestrel Options");
        QTest::newRow("explorer") << QStringList{} << QStringList{QStringLiteral("--explorer")}
                                  << QStringLiteral("Vestrel FTP Explorer");
        // The options are read alike for a first start and a later one: --open stands for all.
        QTest::newRow("first start opens")
            << QStringList{open} << QStringList{} << QStringLiteral("Vestrel");
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
            QCOMPARE(stderrOf(copy), QString());
            QCOMPARE(copy->readAllStandardOutput(), QByteArray());
            // Shown by the running copy, and the second time the same window again.
            QTRY_COMPARE_WITH_TIMEOUT(windows(program, caption), 1, 10000);
        }
        QCOMPARE(program->state(), QProcess::Running);
        QCOMPARE(icons(), 1);
    }

    void copyWithoutDisplayCannotShowWindows() {
        QProcess* program = start({}, false);
        // Listening for later starts once its socket is in the runtime folder.
        QTRY_VERIFY_WITH_TIMEOUT(!QDir(m_dir->filePath(QStringLiteral("runtime")))
                                      .entryList(QDir::System | QDir::NoDotAndDotDot)
                                      .isEmpty(),
                                 10000);
        QProcess* later = start({QStringLiteral("--options")}, false);
        QVERIFY(later->waitForFinished(15000));
        QCOMPARE(later->exitCode(), 1);
        QVERIFY(stderrOf(later).contains(QLatin1String("no display")));
        QCOMPARE(program->state(), QProcess::Running);
    }
};

QTEST_GUILESS_MAIN(TestForwarding)
#include "TestForwarding.moc"
