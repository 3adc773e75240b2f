#include "ScheduleSeams.h"
#include "TestDatabase.h"
#include "schedule/SchedulerTick.h"
#include "store/SessionStore.h"

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

// A session database, a clock and a message seam the test moves and answers by hand.
struct Scene {
    explicit Scene(const Rows& rows) {
        for (const Row& r : rows)
            t.addSession(r.name, r.start, r.ntime, r.freq, r.week, r.days);
        tick.setErrorReport([this](const QString& line) { errors << line; });
    }
    // Each row's ntime and Week, in the order the rows were added.
    QString state() const {
        return t.scalar("select group_concat(ifnull(ntime, '') || ' ' || Week, ', ') from "
                        "(select * from Tasks order by id)");
    }
    int writes() const { return t.scalar("select total_changes()").toInt(); }
    void tickAt(const DateTime& when) {
        now = when;
        tick.tick();
    }

    TestDatabase t;
    SessionStore store{t.db()};
    DateTime now;
    Journal journal;
    QStringList errors;
    SchedulerTick tick{store, [this] { return now; }, journal, journal};
};

} // namespace

Q_DECLARE_METATYPE(Case)

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
        QTest::newRow("a second early") << Case{mail, {"2004-08-13 09:59:59"}, "", 0, none, due, 0};
        // A run that ends within its minute gets that minute again; the started minute stops a second run.
        QTest::newRow("on time") << Case{mail, {"2004-08-13 10:00:00", "2004-08-13 10:00:50"}, "", 0, ran, due, 0};
        QTest::newRow("program started at 10:00:40") << Case{mail, {"2004-08-13 10:00:40"}, "", 0, ran, due, 0};
        QTest::newRow("next minute, not yet stale") << Case{mail, {"2004-08-13 10:01:00"}, "", 0, none, due, 0};
        QTest::newRow("missed by more than a minute") << Case{mail, {"2004-08-13 10:01:10"}, "", 0, none, "2004-08-14 10:00:00 0", 1};
        QTest::newRow("equal times in Name order, message closed within the minute") << Case{group, {"2004-08-13 10:00:05", "2004-08-13 10:00:50"}, Complete, 15,
            {"run Alpha", Complete, "run beta", Complete}, "2004-08-13 10:00:00 0, 2004-08-13 10:00:00 0, 2004-08-13 10:00:30 0", 0};
        // Meanwhile the inner tick found the others more than a minute late and moved them on.
        QTest::newRow("message left open two minutes") << Case{group, {"2004-08-13 10:00:05"}, Complete, 120,
            {"run Alpha", Complete}, "2004-08-14 10:00:00 0, 2004-08-14 10:00:00 0, 2004-08-14 10:00:30 0", 3};
        // W: weekly on Tuesdays in a seventh week of the month, which no month has.
        QTest::newRow("tick inside Impossible! runs in full") << Case{{{"W", "2004-08-03 20:00:00", "2004-08-10 20:00:00", 2, 7}, {"Mail", "2004-08-02 10:00:00", "2004-08-12 10:00:00"}},
            {"2004-08-12 10:00:20"}, "message Impossible!", 0, {"message Impossible!", "message Impossible!", "run Mail", Complete}, "2005-05-31 20:00:00 6, 2004-08-12 10:00:00 0", -1};
        QTest::newRow("empty ntime blocks the pass") << Case{{{"unsaved", "2004-08-01 08:00:00", ""}, {"late", "2004-08-02 09:00:00", "2004-08-10 09:00:00"}, {"due", "2004-08-02 10:00:00", "2004-08-12 10:00:00"}},
            {"2004-08-12 10:00:10"}, "", 0, none, " 0, 2004-08-10 09:00:00 0, 2004-08-12 10:00:00 0", 0};
        // Rows that stay stale for ever or for the rest of the month, already at their values.
        QTest::newRow("nothing changed, nothing written") << Case{{{"once", "2004-01-10 06:00:00", "2004-01-10 06:00:00", 0}, {"no weekday", "2004-08-02 09:30:00", "1899-12-30 00:00:00", 1, 0, 0},
            {"second week", "2004-08-03 20:00:00", "2004-08-10 20:00:00", 2, 2}, {"future", "2004-08-02 09:30:00", "2004-08-12 09:30:00"}}, QStringList(3, "2004-08-12 08:00:00"), "", 0,
            none, "2004-01-10 06:00:00 0, 1899-12-30 00:00:00 0, 2004-08-10 20:00:00 2, 2004-08-12 09:30:00 0", 0};
        // S, left over the weekend, moves on into the very minute of G: it runs with G's group.
        QTest::newRow("moved into the due minute joins its group") << Case{{{"S", "2004-08-02 10:00:00", "2004-08-14 10:00:00"}, {"G", "2004-08-02 10:00:00", "2004-08-16 10:00:00", 1, 0, 62}},
            {"2004-08-16 10:00:20"}, "", 0, {"run G", Complete, "run S", Complete}, "2004-08-16 10:00:00 0, 2004-08-16 10:00:00 0", 1};
        QTest::newRow("a late row written once") << Case{{{"late", "2004-08-02 07:00:00", "2004-08-11 07:00:00"}}, QStringList(2, "2004-08-12 08:00:00"), "", 0, none, "2004-08-13 07:00:00 0", 1};
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
        for (const QString& now : c.ticks)
            s.tickAt(at(now));
        QCOMPARE(s.journal.events, c.events);
        QCOMPARE(s.state(), c.state);
        QVERIFY2(s.errors.isEmpty(), qPrintable(s.errors.join('\n')));
        if (c.writes >= 0)
            QCOMPARE(s.writes() - before, c.writes);
    }

    void failedTickLeavesNothingOpen() {
        Scene s({{"first", "2004-08-02 08:00:00", "2004-08-10 08:00:00"},
                 {"second", "2004-08-02 09:00:00", "2004-08-10 09:00:00"},
                 {"due", "2004-08-02 10:00:00", "2004-08-12 10:00:00"}});
        s.t.exec("create trigger refuse before update on Tasks when old.Name='second' "
                 "begin select raise(abort, 'disk says no'); end");
        s.tickAt(at("2004-08-12 10:00:10"));
        QCOMPARE(s.errors.size(), 1);
        QVERIFY(s.errors[0].startsWith("2004-08-12 10:00:10 ") &&
                s.errors[0].contains("disk says no"));
        // The moves of one tick are stored together or not at all, and no transaction stays open.
        QVERIFY(s.state().startsWith("2004-08-10 08:00:00"));
        QVERIFY(s.t.db().transaction() && s.t.db().rollback());

        s.t.exec("drop trigger refuse");
        s.tickAt(at("2004-08-12 10:00:20"));
        QCOMPARE(s.state(), "2004-08-13 08:00:00 0, 2004-08-13 09:00:00 0, 2004-08-12 10:00:00 0");
        QCOMPARE(s.journal.events, QStringList({"run due", Complete}));
        QCOMPARE(s.errors.size(), 1);
    }
};

QTEST_GUILESS_MAIN(TestSchedulerTick)
#include "TestSchedulerTick.moc"
