#include "BackupTestKit.h"
#include "FtpServer.h"
#include "TestDatabase.h"
#include "backup/BackupRunner.h"
#include "backup/HistoryWriter.h"
#include "store/RunHistory.h"
#include "store/SeenRuns.h"
#include "store/SessionStore.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

// Every run leaves a row in the history, written by the history's own watcher of the run, with
// the outcome the run really had.
class TestRunHistory : public QObject {
    Q_OBJECT

    QString path(const QString& relative) const { return m_dir.filePath(relative); }

    FtpServer m_server;
    QTemporaryDir m_dir;

private slots:
    void initTestCase() {
        QVERIFY2(m_server.start(), qPrintable(m_server.errorString()));
        QVERIFY(writeFile(path("data/a.txt"), "a") && QDir().mkpath(path("store")));
    }

    void runIsKept_data() {
        QTest::addColumn<QString>("password");
        QTest::addColumn<QStringList>("files"); // in "data"
        QTest::addColumn<QString>("outcome");
        QTest::addColumn<int>("entries");
        QTest::addColumn<QString>("firstLine"); // "+" or "x", then the start of its text
        QTest::newRow("sent") << "" << QStringList{"a.txt"} << "ok" << 1 << "+Connection";
        QTest::newRow("log-on refused") << "wrong" << QStringList{"a.txt"} << "failed" << 1 << "x";
        QTest::newRow("one entry missing")
            << "" << QStringList{"gone", "a.txt"} << "failed" << 1 << "xNot found: ";
        QTest::newRow("every entry missing")
            << "" << QStringList{"gone", "lost"} << "nothing" << 0 << "xNot found: ";
    }
    void runIsKept() {
        QFETCH(QString, password);
        QFETCH(QStringList, files);
        QFETCH(QString, outcome);
        QFETCH(int, entries);
        QFETCH(QString, firstLine);
        TestDatabase db;
        Settings settings(path("Vodidore.ini"));
        switchUploadOn(settings, m_server);
        settings.WriteOption("Store", path("store"));
        if (!password.isEmpty())
            settings.WriteOption("Passw", password);
        QStringList paths;
        for (const QString& file : files)
            paths << path("data/" + file);
        const int id = addSession(db, "Docs", paths);
        SessionStore store(db.db());
        RunHistory history(db.db());
        const int writesBefore = db.scalar("select total_changes()").toInt();
        bool done = false;
        BackupRunner(store, sessionRun(settings))
            .start(*store.session(id), RunKind::Scheduled, std::make_shared<HistoryWriter>(history),
                   [&done](const RunRecord&) { done = true; });
        QTRY_VERIFY_WITH_TIMEOUT(done, 30000);

        // One row written at the start and once more at the end.
        QCOMPARE(db.scalar("select total_changes()").toInt() - writesBefore, 2);
        const std::vector<RunRecord> runs = history.newest();
        QCOMPARE(runs.size(), size_t(1));
        const RunRecord& run = runs[0];
        QCOMPARE(outcomeWord(run.outcome), outcome);
        QCOMPARE(run.entries, entries);
        QCOMPARE(run.session, "Docs");
        QCOMPARE(run.archive, entries ? ArchiveName : QString());
        QVERIFY(!run.lines.empty());
        QCOMPARE(run.lines[0].ok, firstLine.startsWith('+'));
        QVERIFY2(run.lines[0].text.startsWith(firstLine.mid(1)), qPrintable(run.lines[0].text));
        QVERIFY(!run.lines[0].text.contains(m_server.password()));
        QFile::remove(path("store/" + ArchiveName));
    }

    // A run the program did not see end (it was killed) is interrupted for the next start, and
    // only the newest runs stay.
    void startUpMarksAndPrunes() {
        TestDatabase db;
        RunHistory history(db.db());
        RunRecord run;
        run.session = "Killed";
        run.start = RunTime;
        const qint64 killed = history.begin(run);
        run.outcome = RunOutcome::Ok;
        for (int i = 1; i <= RunHistory::Kept + 4; ++i) {
            run.session = QString::number(i);
            run.start = RunTime.addMinutes(i);
            history.recordMissed({run});
        }
        history.startUp();
        const std::vector<RunRecord> kept = history.newest(RunHistory::Kept + 10);
        QCOMPARE(kept.size(), size_t(RunHistory::Kept));
        QCOMPARE(kept.front().session, QString::number(RunHistory::Kept + 4));
        QVERIFY(kept.back().id > killed);
        db.exec("update runs set outcome='running' where id=" + QString::number(kept.back().id));
        history.startUp();
        QCOMPARE(history.newest(RunHistory::Kept).back().outcome, RunOutcome::Interrupted);
        const int writes = db.scalar("select total_changes()").toInt();
        history.startUp(); // nothing left to do: nothing written
        QCOMPARE(db.scalar("select total_changes()").toInt(), writes);
    }

    // The tray's mark: a bad run after the newest one seen in the history window, across starts.
    void unseenFailuresOutliveARestart() {
        TestDatabase db;
        RunHistory history(db.db());
        QTemporaryDir dir;
        const SeenRuns seen(dir.filePath("seen"));
        QCOMPARE(seen.newestSeen(), std::nullopt);
        RunRecord run;
        run.start = RunTime;
        qint64 failed = 0;
        for (RunOutcome outcome : {RunOutcome::Ok, RunOutcome::Failed, RunOutcome::Ok}) {
            run.id = history.begin(run);
            run.outcome = outcome;
            history.finish(run);
            failed = outcome == RunOutcome::Failed ? run.id : failed;
        }
        QVERIFY(history.badAfter(failed - 1));
        QVERIFY(!history.badAfter(failed));
        QVERIFY(seen.markSeen(history.newestId()));
        QCOMPARE(SeenRuns(dir.filePath("seen")).newestSeen(), history.newestId());
        QVERIFY(!history.badAfter(*seen.newestSeen()));
        run.outcome = RunOutcome::Missed;
        history.recordMissed({run});
        QVERIFY(history.badAfter(*seen.newestSeen()));
        QVERIFY(writeFile(dir.filePath("seen"), "garbage"));
        QCOMPARE(seen.newestSeen(), std::nullopt);
    }

    // Server text reaches the log only printable, cut, and without the password.
    void printableLines_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("shown");
        QTest::newRow("escape") << "530 \x1b[31mno\x07"
                                << ""
                                << "530 \uFFFD[31mno\uFFFD";
        QTest::newRow("short password") << "PASS ab refused"
                                        << "ab"
                                        << "PASS ******** refused";
        QTest::newRow("long line")
            << QString(1005, 'x') << "" << QString(1000, 'x') + " [5 more characters cut]";
    }
    void printableLines() {
        QFETCH(QString, text);
        QFETCH(QString, password);
        QFETCH(QString, shown);
        QCOMPARE(printableLine(text, password), shown);
    }
};

QTEST_GUILESS_MAIN(TestRunHistory)
#include "TestRunHistory.moc"
