#include "BackupTestKit.h"
#include "TestDatabase.h"
#include "backup/ArchiveEntries.h"
#include "backup/HistoryCatalog.h"
#include "backup/PackFiles.h"
#include "backup/Restore.h"
#include "store/RunHistory.h"
#include "store/Settings.h"

#include <QtTest>

// The restore side learns its archives from the runs the history kept, and keeps restores there.
class TestHistoryCatalog : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString path(const QString& relative) const { return m_dir.filePath(relative); }

    // A real archive of one file in the store; its size.
    qint64 pack(const QString& name) {
        writeFile(path("data/" + name + ".txt"), name.toUtf8());
        FileSlots files;
        files.set(1, path("data/" + name + ".txt"));
        PackFiles(1, path("store/" + name), files);
        return QFileInfo(path("store/" + name)).size();
    }

    // Runs, oldest first: session|archive|destination ("store" for the store's file)|r (a restore)
    // or d (its archive deleted since).
    void addRuns(RunHistory& history, const QStringList& rows) {
        int minute = 0;
        for (const QString& row : rows) {
            const QStringList f = row.split('|');
            RunRecord run;
            run.sessionId = f[0].toInt();
            run.session = "S" + f[0];
            run.start = RunTime.addMinutes(++minute);
            run.kind = f[3] == "r" ? RunKind::Restore : RunKind::Scheduled;
            run.id = history.begin(run);
            run.archive = f[1];
            run.bytes = QFile::exists(path("store/" + f[1]))
                            ? QFileInfo(path("store/" + f[1])).size()
                            : pack(f[1]);
            run.destination = f[2] == "store" ? path("store/" + f[1]) : f[2];
            run.outcome = RunOutcome::Ok;
            history.finish(run);
            if (f[3] == "d") // deleted by a later run's retention
                history.changeArchives({{run.id, ArchiveState::Deleted, run.destination}});
        }
    }

private slots:
    void archivesOfASessionNewestFirstWithTheirPlace_data() {
        QTest::addColumn<QStringList>("runs");
        QTest::addColumn<QStringList>("removed");  // from the store after the runs
        QTest::addColumn<QStringList>("expected"); // session 1's, "name where"
        QTest::newRow("store, server, both, newest first")
            << QStringList{"1|a.zip|store|", "1|b.zip|ftp.example:/pub/b (2).zip|",
                           "1|c.zip|ftp.example:/pub/c.zip|", "2|d.zip|store|"}
            << QStringList{"b.zip"}
            << QStringList{"c.zip both", "b.zip server /pub/b (2).zip", "a.zip store"};
        QTest::newRow("gone from the store, other server, restores: not listed")
            << QStringList{"1|a.zip|store|", "1|b.zip|other.example:/b.zip|", "1|f.zip|store|r"}
            << QStringList{"a.zip", "b.zip"} << QStringList{};
        QTest::newRow("deleted from the server by retention: not listed")
            << QStringList{"1|a.zip|ftp.example:/a.zip|d", "1|b.zip|ftp.example:/b.zip|"}
            << QStringList{"a.zip", "b.zip"} << QStringList{"b.zip server /b.zip"};
    }
    void archivesOfASessionNewestFirstWithTheirPlace() {
        QFETCH(QStringList, runs);
        QFETCH(QStringList, removed);
        QFETCH(QStringList, expected);
        QDir(path("store")).removeRecursively();
        QDir().mkpath(path("store"));
        TestDatabase db;
        RunHistory history(db.db());
        Settings settings(path("Vodidore.ini"));
        settings.WriteOption("Store", path("store"));
        settings.WriteOption("Ftp", "ftp.example");
        addRuns(history, runs);
        for (const QString& name : removed)
            QFile::remove(path("store/" + name));
        HistoryCatalog catalog(history, settings, [] { return RunTime; });

        QStringList listed;
        for (const KnownArchive& a : catalog.archives(1)) {
            const QString where = a.localPath.isEmpty()    ? "server " + a.remotePath
                                  : a.remotePath.isEmpty() ? QString("store")
                                                           : QString("both");
            QVERIFY(a.localPath.isEmpty() || QFileInfo(a.localPath).size() == a.size);
            listed << a.name + " " + where;
        }
        QCOMPARE(listed, expected);
        // The command line finds what the window lists, by the archive's or the server's name.
        for (const QString& line : expected) {
            const QString remote = line.section(' ', 2);
            QVERIFY(catalog.find(line.section(' ', 0, 0)));
            QVERIFY(remote.isEmpty() || catalog.find(remote.section('/', -1)));
        }
        QVERIFY(!catalog.find("unknown.zip"));
        const auto sessions = catalog.sessions();
        QCOMPARE(std::count_if(sessions.begin(), sessions.end(),
                               [](const auto& s) { return s.first == 1; }),
                 expected.isEmpty() ? 0 : 1);
    }

    void restoreIsKeptAsARun_data() {
        QTest::addColumn<bool>("fileInTheWay");
        QTest::addColumn<QString>("outcome");
        QTest::newRow("written") << false << "ok";
        QTest::newRow("kept the user's file") << true << "failed";
    }
    void restoreIsKeptAsARun() {
        QFETCH(bool, fileInTheWay);
        QFETCH(QString, outcome);
        QDir().mkpath(path("store"));
        TestDatabase db;
        RunHistory history(db.db());
        Settings settings(path("Vodidore.ini"));
        settings.WriteOption("Store", path("store"));
        addRuns(history, {"7|e.zip|store|"});
        QTemporaryDir target;
        const QString written = target.filePath(ArchiveFile(path("store/e.zip")).entries()[0].name);
        if (fileInTheWay)
            writeFile(written, "mine");
        HistoryCatalog catalog(history, settings, [] { return RunTime.addDays(1); });
        {
            const std::unique_ptr<EventLog> log = catalog.restoreLog(path("store/e.zip"));
            restoreArchive({path("store/e.zip"), target.path(), {}}, *log,
                           [](const QString&) { return ExistingChoice{}; });
        }
        const RunRecord run = history.newest(1).at(0);
        QCOMPARE(db.scalar("select kind from runs where id=" + QString::number(run.id)), "restore");
        QCOMPARE(outcomeWord(run.outcome), outcome);
        QCOMPARE(run.end, RunTime.addDays(1));
        QCOMPARE(run.sessionId, 7);
        QVERIFY(!run.lines.empty());
        QCOMPARE(readFile(written), fileInTheWay ? "mine" : "e.zip");
    }
};

QTEST_GUILESS_MAIN(TestHistoryCatalog)
#include "TestHistoryCatalog.moc"
