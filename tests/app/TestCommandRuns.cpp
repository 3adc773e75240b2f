#include "BackupTestKit.h"
#include "FtpServer.h"
#include "TestDatabase.h"
#include "backup/PackFiles.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

// `vestrel --run TITLE` and `vestrel --history --json` as scripts use them: without a display,
// in this process or forwarded to the running copy.
class TestCommandRuns : public QObject {
    Q_OBJECT

    QString path(const QString& relative) const { return m_dir.filePath(relative); }

    QProcessEnvironment environment() const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            env.remove(name);
        env.insert("XDG_DATA_HOME", path("data"));
        env.insert("XDG_CONFIG_HOME", path("config"));
        env.insert("XDG_RUNTIME_DIR", path("run"));
        env.insert("HOME", path("home"));
        return env;
    }
    // Exit code, standard output and error of one start.
    int vestrel(const QStringList& arguments, QByteArray* out = nullptr,
                QByteArray* err = nullptr) {
        QProcess p;
        p.setProcessEnvironment(environment());
        p.start(VESTREL_EXE, arguments);
        if (!p.waitForFinished(60000))
            return -1;
        if (out)
            *out = p.readAllStandardOutput();
        if (err)
            *err = p.readAllStandardError();
        return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    }

    FtpServer m_server;
    QTemporaryDir m_dir;

private slots:
    void initTestCase() {
        QVERIFY2(m_server.start(), qPrintable(m_server.errorString()));
        for (const char* folder : {"data/vestrel", "config", "run", "home", "store"})
            QVERIFY(QDir().mkpath(path(folder)));
        QFile::setPermissions(path("run"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QVERIFY(writeFile(path("files/a.txt"), "a"));
        const QString db = path("data/vestrel/vestrel.mdb");
        TestDatabase::createFromSchema(db);
        QCOMPARE(QProcess::execute("sqlite3", {db, "insert into Tasks (Name) values ('Good'), "
                                                   "('Empty'); insert into files values (1, '" +
                                                       path("files/a.txt") + "'), (2, '" +
                                                       path("files/gone") + "')"}),
                 0);
        Settings settings(path("config/Vodidore.ini"));
        switchUploadOn(settings, m_server);
        settings.WriteOption("Store", path("store"));
        FileSlots files;
        files.set(1, path("files/a.txt"));
        PackFiles(1, path("plain.zip"), files);
        PackFiles(1, path("locked.zip"), files, {}, {.skipped = {}, .password = "arch-secret-9"});
    }

    void exitCodes_data() {
        QTest::addColumn<bool>("forwarded"); // to a copy that runs meanwhile
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("password");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("outcome"); // as the history keeps it; empty: not kept
        for (const bool forwarded : {false, true}) {
            const char* how = forwarded ? "forwarded: " : "here: ";
            QTest::addRow("%sok", how) << forwarded << "Good"
                                       << "" << 0 << "ok";
            QTest::addRow("%sother case", how) << forwarded << "good"
                                               << "" << 0 << "ok";
            QTest::addRow("%slog-on refused", how) << forwarded << "Good"
                                                   << "wrong" << 1 << "failed";
            QTest::addRow("%snothing", how) << forwarded << "Empty"
                                            << "" << 3 << "nothing";
            QTest::addRow("%sunknown", how) << forwarded << "Nobody"
                                            << "" << 2 << "";
        }
    }
    void exitCodes() {
        QFETCH(bool, forwarded);
        QFETCH(QString, title);
        QFETCH(QString, password);
        QFETCH(int, code);
        QFETCH(QString, outcome);
        Settings settings(path("config/Vodidore.ini"));
        settings.WriteOption("Passw", password.isEmpty() ? m_server.password() : password);
        settings.WriteOption("ArchPass", "arch-secret-9");
        QProcess running;
        if (forwarded) {
            running.setProcessEnvironment(environment());
            running.start(VESTREL_EXE, {});
            QTRY_VERIFY_WITH_TIMEOUT(
                !QDir(path("run")).entryList({"vestrel-*.socket"}, QDir::System).isEmpty(), 10000);
        }
        QByteArray out, err;
        QCOMPARE(vestrel({"--run", title}, nullptr, &err), code);
        QVERIFY(!err.contains("arch-secret-9"));
        if (code == 2)
            QVERIFY2(err.contains("\"" + title.toUtf8() + "\""), err.constData());
        if (forwarded) {
            running.terminate();
            QVERIFY(running.waitForFinished(10000));
        }
        QCOMPARE(vestrel({"--history", "--json"}, &out), 0);
        const QList<QByteArray> lines = out.trimmed().split('\n');
        const QJsonObject newest = QJsonDocument::fromJson(lines.first()).object();
        if (outcome.isEmpty())
            return;
        QCOMPARE(newest.value("outcome").toString(), outcome);
        QCOMPARE(newest.value("kind").toString(), "command");
        QCOMPARE(newest.value("session").toString(), title == "good" ? "Good" : title);
        QFile::remove(path("store/" + newest.value("archive").toString()));
    }

    // Every line one JSON object with the keys scripts read; newest first.
    void historyIsJsonLines() {
        QByteArray out;
        QCOMPARE(vestrel({"--history", "--json"}, &out), 0);
        const QList<QByteArray> lines = out.trimmed().split('\n');
        QCOMPARE(lines.size(), 8);
        QStringList keys{"archive", "bytes",   "destination", "end",        "entries", "kind",
                         "lines",   "outcome", "session",     "session_id", "start"};
        QString previous = "9999";
        for (const QByteArray& line : lines) {
            QJsonParseError error;
            const QJsonObject run = QJsonDocument::fromJson(line, &error).object();
            QVERIFY2(error.error == QJsonParseError::NoError, line.constData());
            QCOMPARE(run.keys(), keys);
            QVERIFY(run.value("start").toString() <= previous);
            previous = run.value("start").toString();
            QVERIFY(run.value("lines").toArray().first().toObject().contains("ok"));
        }
    }

    void restoreExitCodes_data() {
        QTest::addColumn<QString>("archive");
        QTest::addColumn<QByteArray>("password"); // through a pipe; empty: no --password-file
        QTest::addColumn<QByteArray>("there");    // a.txt before the restore; empty: none
        QTest::addColumn<int>("code");
        QTest::addColumn<QByteArray>("after"); // a.txt after it; empty: none
        QTest::addColumn<QByteArray>("says");  // on standard error
        QTest::newRow("all written") << "plain.zip" << QByteArray() << QByteArray() << 0
                                     << QByteArray("a") << QByteArray("Restored 1 of 1");
        QTest::newRow("kept, no --overwrite") << "plain.zip" << QByteArray() << QByteArray("mine")
                                              << 1 << QByteArray("mine") << QByteArray("was kept");
        QTest::newRow("unknown archive") << "none.zip" << QByteArray() << QByteArray() << 1
                                         << QByteArray() << QByteArray("no archive of that name");
        QTest::newRow("encrypted, no password") << "locked.zip" << QByteArray() << QByteArray() << 1
                                                << QByteArray() << QByteArray("is encrypted");
        QTest::newRow("encrypted, wrong password")
            << "locked.zip" << QByteArray("wrong-guess-7\n") << QByteArray() << 1 << QByteArray()
            << QByteArray("Wrong password for");
        QTest::newRow("encrypted, password")
            << "locked.zip" << QByteArray("arch-secret-9\r\n") << QByteArray() << 0
            << QByteArray("a") << QByteArray("Restored 1 of 1");
    }
    // No password in the arguments (read while the program waits on the pipe) nor on stderr.
    void restoreExitCodes() {
        QFETCH(QString, archive);
        QFETCH(QByteArray, password);
        QFETCH(QByteArray, there);
        QFETCH(int, code);
        QFETCH(QByteArray, after);
        QFETCH(QByteArray, says);
        const QString target = path(QString("restored/") + QTest::currentDataTag());
        QVERIFY(there.isEmpty() || writeFile(target + "/a.txt", there));
        QStringList arguments{"--restore", path(archive), "--to", target};
        const QByteArray pipe = QFile::encodeName(target + ".pass");
        if (!password.isEmpty()) {
            QVERIFY(::mkfifo(pipe.constData(), 0600) == 0);
            arguments << "--password-file" << QString::fromUtf8(pipe);
        }
        QProcess p;
        p.setProcessEnvironment(environment());
        p.start(VESTREL_EXE, arguments);
        if (!password.isEmpty()) {
            QByteArray seen; // filled in once the program has started
            QTRY_VERIFY((seen = readFile(QString("/proc/%1/cmdline").arg(p.processId())))
                            .contains("--password-file"));
            QVERIFY(!seen.contains(password.trimmed()));
            int fd = -1;
            QTRY_VERIFY_WITH_TIMEOUT((fd = ::open(pipe.constData(), O_WRONLY | O_NONBLOCK)) >= 0,
                                     30000);
            QCOMPARE(::write(fd, password.constData(), size_t(password.size())), password.size());
            ::close(fd);
        }
        QVERIFY(p.waitForFinished(60000));
        QCOMPARE(p.exitCode(), code);
        const QByteArray err = p.readAllStandardError();
        QVERIFY2(err.contains(says) && (password.isEmpty() || !err.contains(password.trimmed())),
                 err.constData());
        QCOMPARE(readFile(target + "/a.txt"), after);
        QCOMPARE(listing(target).size(), after.isEmpty() ? 0 : 1);
    }
};

QTEST_GUILESS_MAIN(TestCommandRuns)
#include "TestCommandRuns.moc"
