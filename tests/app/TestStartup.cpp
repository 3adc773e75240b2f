#include "TestDatabase.h"
#include "ui/shell/FMain.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QMenu>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

// Runs copies of the built program in temp folders without a display, as a user's session would
// run it, and drives the hidden main window in process.
class TestStartup : public QObject {
    Q_OBJECT

private slots:
    void secondStartEndsSilently();
    void missingDatabaseEndsStartUp();
    void mainWindowTimerAndExit();

private:
    static QString installCopy(const QTemporaryDir& dir);
    static QProcessEnvironment headlessEnvironment(const QTemporaryDir& dir);
};

QString TestStartup::installCopy(const QTemporaryDir& dir) {
    const QString exe = dir.filePath(QStringLiteral("vestrel"));
    if (!QFile::copy(QStringLiteral(VESTREL_EXE), exe)) {
        qFatal("cannot copy the program");
    }
    return exe;
}

QProcessEnvironment TestStartup::headlessEnvironment(const QTemporaryDir& dir) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.filePath(QStringLiteral("config")));
    return env;
}

void TestStartup::secondStartEndsSilently() {
    QTemporaryDir dir;
    const QString exe = installCopy(dir);
    TestDatabase::createFromSchema(dir.filePath(QStringLiteral("vestrel.mdb")));

    QProcess first;
    first.setProcessEnvironment(headlessEnvironment(dir));
    first.start(exe, {});
    QVERIFY(first.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(dir.filePath(QStringLiteral("vestrel.lock"))), 10000);

    // Started where XDG_RUNTIME_DIR is unset (a service, a log-in over ssh), the second copy
    // must not get as far as Qt, which would complain about it.
    QProcess second;
    QProcessEnvironment env = headlessEnvironment(dir);
    env.remove(QStringLiteral("XDG_RUNTIME_DIR"));
    second.setProcessEnvironment(env);
    second.start(exe, {});
    QVERIFY(second.waitForFinished(10000));
    QCOMPARE(second.exitStatus(), QProcess::NormalExit);
    QCOMPARE(second.exitCode(), 0);
    QCOMPARE(second.readAllStandardError(), QByteArray());
    QCOMPARE(second.readAllStandardOutput(), QByteArray());

    QCOMPARE(first.state(), QProcess::Running);
    first.terminate();
    QVERIFY(first.waitForFinished(10000));

    // Once the first copy is gone, a new start runs again (a dead copy's lock does not count).
    QProcess third;
    third.setProcessEnvironment(headlessEnvironment(dir));
    third.start(exe, {});
    QVERIFY(third.waitForStarted());
    QVERIFY(!third.waitForFinished(1500));
    third.kill();
    third.waitForFinished();
}

void TestStartup::missingDatabaseEndsStartUp() {
    QTemporaryDir dir;
    const QString exe = installCopy(dir);
    QProcess p;
    p.setProcessEnvironment(headlessEnvironment(dir));
    p.start(exe, {});
    QVERIFY(p.waitForFinished(10000));
    QCOMPARE(p.exitCode(), 1);
    const QString err = QString::fromLocal8Bit(p.readAllStandardError());
    const QString dbPath = dir.filePath(QStringLiteral("vestrel.mdb"));
    QVERIFY2(err.contains(dbPath), qPrintable(err));
    QVERIFY(!QFile::exists(dbPath));
}

void TestStartup::mainWindowTimerAndExit() {
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

QTEST_MAIN(TestStartup)
#include "TestStartup.moc"
