#include "ScheduleSeams.h"
#include "TestDatabase.h"
#include "schedule/SchedulerTick.h"
#include "store/SessionStore.h"

#include <QElapsedTimer>
#include <QSqlQuery>
#include <QTest>
#include <utility>

namespace {

const QString Complete = QStringLiteral("message Vestrel Session Complete!");

struct Row {
    QString name, start, ntime;
    int freq = 1, week = 0, days = 127;
};
using Rows = QList<Row>;

// Sessions, tick times, the message in which one more tick runs (as a modal box allows) and how
// long it stays open; then what ran, each row's "ntime Week", and rows written (-1: not counted).
struct Case {
    Rows rows;
    QStringList ticks;
    QString nestIn;
    int secondsOpen;
    QStringList events;
    QString state;
    int writes;
};

// A session database, clocks and a message seam the test moves and answers by hand.
struct Scene {
    explicit Scene(const Rows& rows) {
        for (const Row& r : rows)
            t.addSession(r.name, r.start, r.ntime, r.freq, r.week, r.days);
        start();
    }
    // The program starting (again): a tick that reads the minute started last from its file.
    void start() {
        tick.emplace(
            store, [this] { return now; }, journal, queue);
        tick->setErrorReport([this](const QString& line) { errors << line; });
        tick->setUptimeClock([this] { return uptime; });
        tick->setLastStartFile(t.path() + ".laststart");
    }
    // Each row's ntime and Week, in the order the rows were added.
    QString state() const {
        return t.scalar("select group_concat(ifnull(ntime, '') || ' ' || Week, ', ') from "
                        "(select * from Tasks order by id)");
    }
    int writes() const { return t.scalar("select total_changes()").toInt(); }
    // A tick at `when`, the machine awake (and up) all the while since the last one unless told.
    void tickAt(const DateTime& when, qint64 awakeMs = -1, qint64 upMs = -1) {
        const qint64 ms = (when.seconds() - now.seconds()) * 1000;
        uptime = {uptime.awakeMs + (awakeMs < 0 ? ms : awakeMs),
                  uptime.sinceBootMs + (upMs < 0 ? ms : upMs)};
        now = when;
        tick->tick();
    }
    // "2004-08-13 10:00:00" a tick then; "jump …" a tick after the wall clock was set forward
    // to then; "sleep …" a tick after the machine slept until then; "end" the oldest run going
    // on ends; "now Name" is Run Now of that session; "restart" the program starts again.
    void step(const QString& what) {
        const QString arg = what.section(' ', 1);
        if (what == "end") {
            journal.finishRun();
        } else if (what == "restart") {
            start();
        } else if (what.startsWith("now ")) {
            queue.runNow(t.scalar("select id from Tasks where Name='" + arg + "'").toInt());
        } else if (what.startsWith("jump ")) {
            tickAt(at(arg), 300, 300);
        } else if (what.startsWith("sleep ")) {
            tickAt(at(arg), 300);
        } else {
            tickAt(at(what));
        }
    }

    TestDatabase t;
    SessionStore store{t.db()};
    DateTime now;
    SchedulerTick::Uptime uptime{1000000, 1000000};
    Journal journal;
    QStringList errors;
    RunQueue queue{store, [this] { return now; }, journal, journal};
    std::optional<SchedulerTick> tick;
};

} // namespace

Q_DECLARE_METATYPE(Case)
Q_DECLARE_METATYPE(RunOutcome)

class TestSchedulerTick : public QObject {
    Q_OBJECT

private slots:
    void tick_data() {
        QTest::addColumn<Case>("c");
        const Rows mail{{"Mail", "2004-08-02 10:00:00", "2004-08-13 10:00:00"}};
        const QString due = "2004-08-13 10:00:00 0";
        const QStringList ran{"run Mail", Complete}, none;
        // clang-format off
        // Sessions of equal ntime, and one of the same minute but another second.
        const Rows group{{"beta", "2004-08-02 10:00:00", "2004-08-13 10:00:00"}, {"Alpha", "2004-08-02 10:00:00", "2004-08-13 10:00:00"}, {"gamma", "2004-08-02 10:00:30", "2004-08-13 10:00:30"}};
        // The run's minute is over for it: right after the run the row holds the next day, and the started minute stops a second run.
        QTest::newRow("on time") << Case{mail, {"2004-08-13 10:00:00", "2004-08-13 10:00:50"}, "", 0, ran, "2004-08-14 10:00:00 0", 1};
        QTest::newRow("a second early, then next minute not yet stale") << Case{mail, {"2004-08-13 09:59:59", "2004-08-13 10:01:00"}, "", 0, none, due, 0};
        QTest::newRow("missed by more than a minute") << Case{mail, {"2004-08-13 10:01:10"}, "", 0, none, "2004-08-14 10:00:00 0", 1};
        QTest::newRow("equal times in Name order, message closed within the minute") << Case{group, {"2004-08-13 10:00:05", "2004-08-13 10:00:50"}, Complete, 15,
            {"run Alpha", Complete, "run beta", Complete}, "2004-08-14 10:00:00 0, 2004-08-14 10:00:00 0, 2004-08-13 10:00:30 0", 2};
        // beta waits its turn through the open message and runs after it; gamma, not of the group, moves on.
        QTest::newRow("message left open two minutes") << Case{group, {"2004-08-13 10:00:05"}, Complete, 120,
            {"run Alpha", Complete, "run beta", Complete}, "2004-08-14 10:00:00 0, 2004-08-14 10:00:00 0, 2004-08-14 10:00:30 0", 3};
        // W: weekly on Tuesdays in a seventh week of the month, which no month has.
        QTest::newRow("tick inside Impossible! runs in full") << Case{{{"W", "2004-08-03 20:00:00", "2004-08-10 20:00:00", 2, 7}, {"Mail", "2004-08-02 10:00:00", "2004-08-12 10:00:00"}},
            {"2004-08-12 10:00:20"}, "message Impossible!", 0, {"message Impossible!", "message Impossible!", "run Mail", Complete}, "2005-05-31 20:00:00 6, 2004-08-13 10:00:00 0", -1};
        QTest::newRow("empty ntime passed over") << Case{{{"unsaved", "2004-08-01 08:00:00", ""}, {"late", "2004-08-02 09:00:00", "2004-08-10 09:00:00"}, {"due", "2004-08-02 10:00:00", "2004-08-12 10:00:00"}},
            {"2004-08-12 10:00:10"}, "", 0, {"run due", Complete}, " 0, 2004-08-13 09:00:00 0, 2004-08-13 10:00:00 0", 2};
        // Rows that stay stale for ever or for the rest of the month, already at their values.
        QTest::newRow("nothing changed, nothing written") << Case{{{"once", "2004-01-10 06:00:00", "2004-01-10 06:00:00", 0}, {"no weekday", "2004-08-02 09:30:00", "1899-12-30 00:00:00", 1, 0, 0},
            {"second week", "2004-08-03 20:00:00", "2004-08-10 20:00:00", 2, 2}, {"future", "2004-08-02 09:30:00", "2004-08-12 09:30:00"}}, QStringList(3, "2004-08-12 08:00:00"), "", 0,
            none, "2004-01-10 06:00:00 0, 1899-12-30 00:00:00 0, 2004-08-10 20:00:00 2, 2004-08-12 09:30:00 0", 0};
        // S, left over the weekend, moves on into the very minute of G: it runs with G's group.
        QTest::newRow("moved into the due minute joins its group") << Case{{{"S", "2004-08-02 10:00:00", "2004-08-14 10:00:00"}, {"G", "2004-08-02 10:00:00", "2004-08-16 10:00:00", 1, 0, 62}},
            {"2004-08-16 10:00:20"}, "", 0, {"run G", Complete, "run S", Complete}, "2004-08-17 10:00:00 0, 2004-08-17 10:00:00 0", 3};
        // The started minute is kept across a restart: a one-time session's time never moves.
        QTest::newRow("restart within the started minute") << Case{{{"once", "2004-08-13 10:00:00", "2004-08-13 10:00:00", 0}}, {"2004-08-13 10:00:10", "restart", "2004-08-13 10:00:40"}, "", 0,
            {"run once", Complete}, "2004-08-13 10:00:00 0", 0};
        // Runs in the background: Run Now waits its turn behind the runs already queued. A due
        // session waiting through another run is the event window test's.
        const Rows ab{{"A", "2004-08-02 10:00:00", "2004-08-13 10:00:00"}, {"B", "2004-08-02 10:05:00", "2004-08-13 10:05:00"}};
        QTest::newRow("Run Now during a scheduled run waits its turn") << Case{ab, {"2004-08-13 10:00:10", "now B", "now A", "end", "end", "end"}, "", 0,
            {"run A", Complete, "run B", Complete, "run A", Complete}, "2004-08-14 10:00:00 0, 2004-08-13 10:05:00 0", 1};
        // The wall clock jumps from 01:59:59 to 03:00:00 (daylight saving time starts): 02:30 never came, yet the program ran throughout.
        const Rows night{{"S", "2027-03-01 02:30:00", "2027-03-14 02:30:00"}, {"T", "2027-03-01 03:01:00", "2027-03-14 03:01:00"}};
        QTest::newRow("clock jumped forward over a session: it runs") << Case{night, {"2027-03-14 01:59:59", "jump 2027-03-14 03:00:00", "2027-03-14 03:01:10"}, "", 0,
            {"run S", Complete, "run T", Complete}, "2027-03-15 02:30:00 0, 2027-03-15 03:01:00 0", 2};
        QTest::newRow("machine slept over a session: moved on") << Case{night, {"2027-03-14 01:59:59", "sleep 2027-03-14 03:00:00"}, "", 0,
            none, "2027-03-15 02:30:00 0, 2027-03-14 03:01:00 0", 1};
        // clang-format on
    }

    void tick() {
        QFETCH(Case, c);
        Scene s(c.rows);
        const int before = s.writes();
        bool inside = false;
        s.journal.onShow = [&](const QString& text) {
            if ("message " + text == c.nestIn && !std::exchange(inside, true)) {
                s.tickAt(s.now.addSeconds(c.secondsOpen));
                inside = false;
            }
        };
        s.journal.holdRuns = c.ticks.contains("end");
        for (const QString& step : c.ticks)
            s.step(step);
        QVERIFY(s.journal.running.empty());
        QCOMPARE(s.journal.events, c.events);
        QCOMPARE(s.state(), c.state);
        QVERIFY2(s.errors.isEmpty(), qPrintable(s.errors.join('\n')));
        if (c.writes >= 0)
            QCOMPARE(s.writes() - before, c.writes);
    }

    // Sessions whose time passed while the program was not running are told once, in due order;
    // to catch up, each runs once and then moves on, as a failed run it is told as one.
    void missedRuns_data() {
        QTest::addColumn<bool>("catchUp");
        QTest::addColumn<RunOutcome>("outcome");
        QTest::addColumn<QStringList>("events");
        const QString failed = "message Vestrel Session Failed! See the log.";
        QTest::newRow("moved on") << false << RunOutcome::Ok << QStringList();
        QTest::newRow("caught up")
            << true << RunOutcome::Ok
            << QStringList{"run Late (caught up)", Complete, "run Mail (caught up)", Complete};
        QTest::newRow("caught up, failing")
            << true << RunOutcome::Failed
            << QStringList{"run Late (caught up)", failed, "run Mail (caught up)", failed};
    }
    void missedRuns() {
        QFETCH(bool, catchUp);
        QFETCH(RunOutcome, outcome);
        QFETCH(QStringList, events);
        Scene s({{"Mail", "2004-08-02 10:00:00", "2004-08-13 10:00:00"},
                 {"Late", "2004-08-02 09:00:00", "2004-08-13 09:00:00"},
                 {"Later", "2004-08-02 11:00:00", "2004-08-13 11:00:00"}});
        QStringList told;
        s.tick->setMissedReport([&told](const std::vector<BackupSession>& missed) {
            QStringList names;
            for (const BackupSession& m : missed)
                names << m.name + " " + m.ntime->toStoredText();
            told << names.join(", ");
        });
        s.tick->setCatchUp([catchUp] { return catchUp; });
        s.journal.outcome = outcome;
        for (const char* when :
             {"2004-08-13 10:05:00", "2004-08-13 10:05:30", "2004-08-13 10:06:00"})
            s.tickAt(at(when));
        QCOMPARE(told, QStringList{"Late 2004-08-13 09:00:00, Mail 2004-08-13 10:00:00"});
        QCOMPARE(s.journal.events, events);
        QCOMPARE(s.state(), "2004-08-14 10:00:00 0, 2004-08-14 09:00:00 0, 2004-08-13 11:00:00 0");
    }

    // A tick's moves are stored together or not at all, and a failure is reported once while it
    // lasts; another program's lock costs a tick a short wait, not the connection's five seconds.
    void failingTicks() {
        Scene s({{"first", "2004-08-02 08:00:00", "2004-08-10 08:00:00"},
                 {"second", "2004-08-02 09:00:00", "2004-08-10 09:00:00"},
                 {"due", "2004-08-02 10:00:00", "2004-08-12 10:00:00"}});
        s.t.exec("create trigger refuse before update on Tasks when old.Name='second' "
                 "begin select raise(abort, 'disk says no'); end");
        s.tickAt(at("2004-08-12 10:00:10"));
        QCOMPARE(s.errors.size(), 1);
        QVERIFY(s.errors[0].startsWith("2004-08-12 10:00:10 ") &&
                s.errors[0].contains("disk says no"));
        QVERIFY(s.state().startsWith("2004-08-10 08:00:00"));
        QVERIFY(s.t.db().transaction() && s.t.db().rollback());
        s.t.exec("drop trigger refuse");
        {
            QSqlDatabase other = QSqlDatabase::addDatabase("QSQLITE", "other");
            other.setDatabaseName(s.t.path());
            QVERIFY(other.open());
            QSqlQuery lock(other);
            QVERIFY(lock.exec("BEGIN EXCLUSIVE"));
            QElapsedTimer timer;
            timer.start();
            for (const char* now : {"2004-08-12 10:00:11", "2004-08-12 10:00:12"})
                s.tickAt(at(now));
            QVERIFY2(timer.elapsed() < 2500, qPrintable(QString::number(timer.elapsed())));
            QCOMPARE(s.errors.size(), 2);
            QVERIFY2(s.errors[1].contains("locked"), qPrintable(s.errors[1]));
            QVERIFY(s.journal.events.isEmpty());
            QVERIFY(lock.exec("ROLLBACK"));
        }
        QSqlDatabase::removeDatabase("other");
        s.tickAt(at("2004-08-12 10:00:20"));
        QCOMPARE(s.state(), "2004-08-13 08:00:00 0, 2004-08-13 09:00:00 0, 2004-08-13 10:00:00 0");
        QCOMPARE(s.journal.events, QStringList({"run due", Complete}));
        QCOMPARE(s.errors.size(), 3);
        QVERIFY(s.errors[2].endsWith("scheduler tick works again"));
    }
};

QTEST_GUILESS_MAIN(TestSchedulerTick)
#include "TestSchedulerTick.moc"
