#include "TestDatabase.h"
#include "XDisplay.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

// Copies of the built program on a private X server, watched as a user would see them.
class TestForwarding : public QObject {
    Q_OBJECT

    QProcess* start(const QStringList& arguments, bool withDisplay = true) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("QT_QPA_PLATFORM"));
        env.remove(QStringLiteral("WAYLAND_DISPLAY"));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_dir->filePath(QStringLiteral("config")));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_dir->filePath(QStringLiteral("runtime")));
        if (withDisplay) {
            env.insert(QStringLiteral("DISPLAY"), m_display->name());
        } else {
            env.remove(QStringLiteral("DISPLAY"));
        }
        auto& process = m_processes.emplace_back(std::make_unique<QProcess>());
        process->setProcessEnvironment(env);
        process->start(m_exe, arguments);
        // Until the loop hears of the start, state() says Starting even when it runs.
        process->waitForStarted();
        return process.get();
    }

    qsizetype icons() const { return m_display->trayIcons(QStringLiteral("vestrel")).size(); }

    static QString stderrOf(QProcess* process) {
        return QString::fromLocal8Bit(process->readAllStandardError());
    }

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<XDisplay> m_display;
    QString m_exe;
    std::vector<std::unique_ptr<QProcess>> m_processes;

private slots:
    void init() {
        m_dir = std::make_unique<QTemporaryDir>();
        m_exe = m_dir->filePath(QStringLiteral("vestrel"));
        QVERIFY(QFile::copy(QStringLiteral(VESTREL_EXE), m_exe));
        TestDatabase::createFromSchema(m_dir->filePath(QStringLiteral("vestrel.mdb")));
        QVERIFY(QDir(m_dir->path()).mkdir(QStringLiteral("runtime")));
        QFile::setPermissions(m_dir->filePath(QStringLiteral("runtime")),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        m_display = std::make_unique<XDisplay>();
        QVERIFY2(m_display->start(), qPrintable(m_display->errorString()));
    }

    void cleanup() {
        for (const auto& process : m_processes) {
            process->kill();
            process->waitForFinished();
        }
        m_processes.clear();
        m_display.reset();
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

        QVERIFY2(m_display->startTray(), qPrintable(m_display->errorString()));
        QTRY_COMPARE_WITH_TIMEOUT(icons(), 1, 10000);
        QCOMPARE(program->state(), QProcess::Running);
    }

    void laterStartsGoToTheRunningCopy_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("caption"); // of the window that shows, if any
        QTest::newRow("no arguments") << QStringList{} << QString();
        QTest::newRow("editor") << QStringList{QStringLiteral("--open")}
                                << QStringLiteral("Vestrel");
        QTest::newRow("options") << QStringList{QStringLiteral("--options")}
                                 << QStringLiteral("Vestrel Options");
        QTest::newRow("explorer") << QStringList{QStringLiteral("--explorer")}
                                  << QStringLiteral("Vestrel FTP Explorer");
    }

    void laterStartsGoToTheRunningCopy() {
        QFETCH(QStringList, arguments);
        QFETCH(QString, caption);
        QVERIFY2(m_display->startTray(), qPrintable(m_display->errorString()));
        QProcess* program = start({});
        QTRY_COMPARE_WITH_TIMEOUT(icons(), 1, 10000);

        for (int round = 0; round < 2; ++round) {
            QProcess* later = start(arguments);
            QVERIFY(later->waitForFinished(15000));
            QCOMPARE(later->exitCode(), 0);
            QCOMPARE(stderrOf(later), QString());
            QCOMPARE(later->readAllStandardOutput(), QByteArray());
            if (!caption.isEmpty()) {
                // Shown by the running copy, and the second time the same window again.
                QTRY_COMPARE_WITH_TIMEOUT(m_display->windows(program->processId(), caption).size(),
                                          1, 10000);
            }
        }
        QCOMPARE(program->state(), QProcess::Running);
        QCOMPARE(icons(), 1);
    }

    // The options are read alike for a first start and a later one: --open stands for them all.
    void windowOptionStartsTheProgram() {
        QVERIFY2(m_display->startTray(), qPrintable(m_display->errorString()));
        QProcess* program = start({QStringLiteral("--open")});
        QTRY_COMPARE_WITH_TIMEOUT(icons(), 1, 10000);
        QTRY_COMPARE_WITH_TIMEOUT(
            m_display->windows(program->processId(), QStringLiteral("Vestrel")).size(), 1, 10000);

        // It is the running copy now: a plain start ends silently.
        QProcess* later = start({});
        QVERIFY(later->waitForFinished(15000));
        QCOMPARE(later->exitCode(), 0);
        QCOMPARE(program->state(), QProcess::Running);
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
