#include "BackupTestKit.h"
#include "FtpServer.h"
#include "TestDatabase.h"
#include "schedule/RunQueue.h"
#include "schedule/SchedulerTick.h"
#include "store/SessionStore.h"
#include "ui/events/FEventRunner.h"

#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <atomic>

// The scheduler, the run queue and the production runner without a display, with the real
// packer and the real FTP server: runs go on in the background while the test ticks.
class TestBackgroundRuns : public QObject {
    Q_OBJECT

    struct Recorder : Messages {
        void show(const QString& text) override { shown << text; }
        QStringList shown;
    };

    QString path(const QString& relative) const { return m_dir.filePath(relative); }
    void setNow(const QString& stored) { m_now = at(stored).seconds(); }
    static DateTime at(const QString& stored) { return *DateTime::fromStoredText(stored); }

    FtpServer m_server;
    QTemporaryDir m_dir;
    // Read by the runs' own threads: they name the archive after it.
    std::atomic<std::int64_t> m_now{0};

private slots:
    void initTestCase() { QVERIFY2(m_server.start(), qPrintable(m_server.errorString())); }

    // A session due while another one runs waits, runs right after it, long past its minute,
    // and is not moved on meanwhile; the runs never overlap, and each completion message follows
    // its own run. Run Now during a run waits its turn too.
    void dueDuringARunRunsAfterIt() {
        TestDatabase db;
        QByteArray noise(8 << 20, Qt::Uninitialized);
        QRandomGenerator(7).fillRange(reinterpret_cast<quint32*>(noise.data()), noise.size() / 4);
        QVERIFY(writeFile(path("big/noise.bin"), noise) && writeFile(path("small.txt"), "small"));
        QVERIFY(QDir().mkpath(path("store")));
        const int a = db.addSession("A", "2004-08-02 10:00:00", "2004-08-13 10:00:00", 1, 0, 127);
        const int b = db.addSession("B", "2004-08-02 10:05:00", "2004-08-13 10:05:00", 1, 0, 127);
        db.exec(QString("insert into files values (%1, '%2'), (%3, '%4')")
                    .arg(a)
                    .arg(path("big"))
                    .arg(b)
                    .arg(path("small.txt")));
        Settings settings(path("Vodidore.ini"));
        settings.WriteOption("Store", path("store"));
        switchUploadOn(settings, m_server);

        const Clock clock = [this] {
            return DateTime::fromSeconds(m_now);
        };
        SessionStore store(db.db());
        QStringList lines;
        FEventRunner runner(
            BackupRunner(store, SessionRun(
                                    settings, [] { return std::make_unique<cFTP>(); }, clock,
                                    path("program"))),
            clock, FEventRunner::Display::Headless,
            [&lines](const QString& line) { lines << line; });
        Recorder messages;
        RunQueue queue(store, clock, messages, runner);
        SchedulerTick tick(store, clock, messages, queue);

        setNow("2004-08-13 10:00:10");
        tick.tick();
        QVERIFY(!queue.idle());
        queue.runNow(b);
        for (const char* later :
             {"2004-08-13 10:00:40", "2004-08-13 10:05:10", "2004-08-13 10:09:00"}) {
            setNow(later);
            tick.tick();
        }
        QTRY_VERIFY_WITH_TIMEOUT(queue.idle(), 60000);

        QStringList who;
        for (const QString& line : lines) {
            who << line.section(' ', 3, 3).chopped(1);
        }
        QCOMPARE(who, QStringList({"A", "A", "A", "B", "B", "B", "B", "B", "B"}));
        QVERIFY2(lines.filter("[failed]").isEmpty(), qPrintable(lines.join('\n')));
        QCOMPARE(messages.shown, QStringList(3, "Vestrel Session Complete!"));
        // Three archives, whatever minute each run read when it began; A's holds its folder.
        QStringList archives;
        for (const QString& name : listing(m_server.pathOf("pub"))) {
            archives << readArchive(m_server.pathOf("pub/" + name)).names.join(',');
        }
        archives.sort();
        QCOMPARE(archives, QStringList({"big/,big/noise.bin", "small.txt", "small.txt"}));
        QCOMPARE(listing(path("store")), QStringList());
        // Run Now leaves the time alone; the scheduled runs moved both on from their minutes.
        QCOMPARE(store.session(a)->ntime, at("2004-08-14 10:00:00"));
        QCOMPARE(store.session(b)->ntime, at("2004-08-14 10:05:00"));
    }
};

QTEST_MAIN(TestBackgroundRuns)
#include "TestBackgroundRuns.moc"
