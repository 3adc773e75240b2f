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

// Runs copies of the built program in temp folders without a display, as a user's session would
// run it, and drives the hidden main window in process.
class TestStartup : public QObject {
    Q_OBJECT

    static void installCopy(const QTemporaryDir& dir) {
        if (!QFile::copy(QStringLiteral(VESTREL_EXE), dir.filePath(QStringLiteral("vestrel"))))
            qFatal("cannot copy the program");
    }

    static void startHeadless(QProcess& p, const QTemporaryDir& dir, bool runtimeDir = true) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            env.remove(QString::fromLatin1(name));
        if (!runtimeDir)
            env.remove(QStringLiteral("XDG_RUNTIME_DIR"));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.filePath(QStringLiteral("config")));
        p.setProcessEnvironment(env);
        p.start(dir.filePath(QStringLiteral("vestrel")), {});
        // Until the loop hears of the start, state() says Starting even when it runs.
        p.waitForStarted();
    }

    // Whether the process holds the single-copy lock, as the kernel lists its file locks.
    static bool holdsLock(const QProcess& p) {
        return QString::fromLatin1(readFile(QStringLiteral("/proc/locks")))
            .contains(QRegularExpression(
                QStringLiteral("FLOCK +ADVISORY +WRITE +%1 ").arg(p.processId())));
    }

private slots:
    void secondStartEndsSilently() {
        QTemporaryDir dir;
        installCopy(dir);
        TestDatabase::createFromSchema(dir.filePath(QStringLiteral("vestrel.mdb")));
        QProcess first;
        startHeadless(first, dir);
        QTRY_VERIFY_WITH_TIMEOUT(holdsLock(first), 10000);

        // Started where XDG_RUNTIME_DIR is unset (a service, a log-in over ssh), the second copy
        // must not get as far as Qt, which would complain about it.
        QProcess second;
        startHeadless(second, dir, false);
        QVERIFY(second.waitForFinished(10000));
        QCOMPARE(second.exitStatus(), QProcess::NormalExit);
        QCOMPARE(second.exitCode(), 0);
        QCOMPARE(second.readAllStandardError(), QByteArray());
        QCOMPARE(second.readAllStandardOutput(), QByteArray());
        QCOMPARE(first.state(), QProcess::Running);

        // Once the first copy is gone, a new start runs again (a dead copy's lock does not count).
        first.kill();
        QVERIFY(first.waitForFinished(10000));
        QProcess third;
        startHeadless(third, dir);
        QTRY_VERIFY_WITH_TIMEOUT(holdsLock(third), 10000);
        third.kill();
        third.waitForFinished();
    }

    void missingDatabaseEndsStartUp() {
        QTemporaryDir dir;
        installCopy(dir);
        QProcess p;
        startHeadless(p, dir);
        QVERIFY(p.waitForFinished(10000));
        QCOMPARE(p.exitCode(), 1);
        const QString err = QString::fromLocal8Bit(p.readAllStandardError());
        const QString dbPath = dir.filePath(QStringLiteral("vestrel.mdb"));
        QVERIFY2(err.contains(dbPath), qPrintable(err));
        QVERIFY(!QFile::exists(dbPath));
    }

    void mainWindowTimerAndExit() {
        int ticks = 0;
        FMain main([&] { ++ticks; }, false);
        QVERIFY(!main.isVisible());
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
