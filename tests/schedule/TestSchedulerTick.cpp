#include "ScheduleSeams.h"
#include "TestDatabase.h"
#include "common/Error.h"
#include "schedule/SchedulerTick.h"
#include "store/SessionStore.h"

#include <QTest>

namespace {

const QString Complete = QStringLiteral("message Vestrel Session Complete!");

// A session database, a clock and a message seam the test moves and answers by hand.
struct Scene {
    explicit Scene(const QString& now)
        : clock{at(now)} {
        tick.setErrorReport([this](const QString& line) { errors << line; });
    }
    int daily(const QString& name, const QString& start, const QString& ntime, int days = 127) {
        return t.addSession(name, start, ntime, 1, 0, days);
    }
    QString ntime(int id) const {
        return t.scalar(QStringLiteral("select ntime from Tasks where id=%1").arg(id));
    }
    int writes() const { return t.scalar(QStringLiteral("select total_changes()")).toInt(); }
    void setNow(const QString& now) { clock.now = at(now); }

    TestDatabase t;
    SessionStore store{t.db()};
    ManualClock clock;
    Journal journal;
    ScriptedMessages messages{journal};
    RecordingRunner runner{journal};
    QStringList errors;
    SchedulerTick tick{store, clock.clock(), messages, runner};
};

} // namespace

class TestSchedulerTick : public QObject {
    Q_OBJECT

private slots:
    void runsOnlyInsideTheDueMinute_data();
    void runsOnlyInsideTheDueMinute();
    void equalTimesRunInNameOrderEachWithItsMessage();
    void tickInsideCompletionMessage_data();
    void tickInsideCompletionMessage();
    void tickInsideImpossibleRunsInFull();
    void emptyNextRunTimeBlocksThePass();
    void unchangedRowsAreNotWritten();
    void oneTimeSessionRunsOnce();
    void failedTickLeavesNothingOpen();
};

void TestSchedulerTick::runsOnlyInsideTheDueMinute_data() {
    QTest::addColumn<QString>("now");
    QTest::addColumn<bool>("runs");
    QTest::addColumn<QString>("ntimeAfter");
    const QString due = "2004-08-13 10:00:00";
    const QString tomorrow = "2004-08-14 10:00:00";
    QTest::newRow("a second early") << "2004-08-13 09:59:59" << false << due;
    // A run that ends within its minute gets that minute again; the minute is marked started.
    QTest::newRow("on time") << "2004-08-13 10:00:00" << true << due;
    QTest::newRow("program started at 10:00:40") << "2004-08-13 10:00:40" << true << due;
    QTest::newRow("next minute, not yet stale") << "2004-08-13 10:01:00" << false << due;
    QTest::newRow("missed by more than a minute") << "2004-08-13 10:01:10" << false << tomorrow;
}

void TestSchedulerTick::runsOnlyInsideTheDueMinute() {
    QFETCH(QString, now);
    QFETCH(bool, runs);
    QFETCH(QString, ntimeAfter);
    Scene s(now);
    const int id = s.daily("Mail", "2004-08-02 10:00:00", "2004-08-13 10:00:00");
    s.tick.tick();
    QCOMPARE(s.journal.events, runs ? QStringList({"run Mail", Complete}) : QStringList());
    QCOMPARE(s.ntime(id), ntimeAfter);
    QVERIFY(s.errors.isEmpty());
}

void TestSchedulerTick::equalTimesRunInNameOrderEachWithItsMessage() {
    Scene s("2004-08-13 10:00:40");
    s.daily("beta", "2004-08-02 10:00:00", "2004-08-13 10:00:00");
    s.daily("Alpha", "2004-08-02 10:00:00", "2004-08-13 10:00:00");
    // Same minute, other second: not part of the group, and the minute is taken.
    const int gamma = s.daily("gamma", "2004-08-02 10:00:30", "2004-08-13 10:00:30");
    s.tick.tick();
    s.setNow("2004-08-13 10:00:50");
    s.tick.tick();
    QCOMPARE(s.journal.events, QStringList({"run Alpha", Complete, "run beta", Complete}));

    s.setNow("2004-08-13 10:01:31");
    s.tick.tick();
    QCOMPARE(s.journal.events.size(), 4);
    QCOMPARE(s.ntime(gamma), QString("2004-08-14 10:00:30"));
}

void TestSchedulerTick::tickInsideCompletionMessage_data() {
    QTest::addColumn<int>("secondsOpen");
    QTest::addColumn<QStringList>("events");
    QTest::addColumn<QString>("ntimeOfB");
    QTest::newRow("closed within the minute")
        << 15 << QStringList({"run A", Complete, "run B", Complete}) << "2004-08-13 10:00:00";
    // Meanwhile the inner tick found B more than a minute late and moved it on.
    QTest::newRow("left open two minutes")
        << 120 << QStringList({"run A", Complete}) << "2004-08-14 10:00:00";
}

void TestSchedulerTick::tickInsideCompletionMessage() {
    QFETCH(int, secondsOpen);
    QFETCH(QStringList, events);
    QFETCH(QString, ntimeOfB);
    Scene s("2004-08-13 10:00:05");
    s.daily("A", "2004-08-02 10:00:00", "2004-08-13 10:00:00");
    const int b = s.daily("B", "2004-08-02 10:00:00", "2004-08-13 10:00:00");
    int depth = 0;
    s.messages.onShow = [&](const QString&) {
        ++depth;
        if (depth == 1) {
            s.clock.now = s.clock.now.addSeconds(secondsOpen);
            s.tick.tick();
        }
        --depth;
    };
    s.tick.tick();
    QCOMPARE(s.journal.events, events);
    QCOMPARE(s.ntime(b), ntimeOfB);
    QVERIFY(s.errors.isEmpty());
}

void TestSchedulerTick::tickInsideImpossibleRunsInFull() {
    Scene s("2004-08-12 10:00:20");
    // Weekly on Tuesdays in a seventh week of the month, which no month has.
    const int weekly = s.t.addSession("W", "2004-08-03 20:00:00", "2004-08-10 20:00:00", 2, 7);
    s.daily("Mail", "2004-08-02 10:00:00", "2004-08-12 10:00:00");
    int depth = 0;
    s.messages.onShow = [&](const QString& text) {
        if (text == "Impossible!" && depth++ == 0) {
            s.tick.tick();
        }
    };
    s.tick.tick();
    QCOMPARE(s.journal.events,
             QStringList({"message Impossible!", "message Impossible!", "run Mail", Complete}));
    // The inner tick could write although the outer one was still computing.
    QVERIFY2(s.errors.isEmpty(), qPrintable(s.errors.join('\n')));
    QCOMPARE(s.t.scalar(QString("select ntime || ' ' || Week from Tasks where id=%1").arg(weekly)),
             QString("2005-05-31 20:00:00 6"));
}

void TestSchedulerTick::emptyNextRunTimeBlocksThePass() {
    Scene s("2004-08-12 10:00:10");
    const int unsaved = s.daily("unsaved", "2004-08-01 08:00:00", QString());
    const int late = s.daily("late", "2004-08-02 09:00:00", "2004-08-10 09:00:00");
    s.daily("due", "2004-08-02 10:00:00", "2004-08-12 10:00:00");
    s.tick.tick();
    QCOMPARE(s.ntime(late), QString("2004-08-10 09:00:00"));
    QVERIFY(s.journal.events.isEmpty());

    s.t.exec(QString("update Tasks set ntime='2004-08-13 08:00:00' where id=%1").arg(unsaved));
    s.tick.tick();
    QCOMPARE(s.ntime(late), QString("2004-08-13 09:00:00"));
    QCOMPARE(s.journal.events, QStringList({"run due", Complete}));
}

void TestSchedulerTick::unchangedRowsAreNotWritten() {
    Scene s("2004-08-12 08:00:00");
    // Rows that stay stale for ever or for the rest of the month, already at their values.
    s.t.addSession("once", "2004-01-10 06:00:00", "2004-01-10 06:00:00", 0);
    s.daily("no weekday", "2004-08-02 09:30:00", "1899-12-30 00:00:00", 0);
    s.t.addSession("second week", "2004-08-03 20:00:00", "2004-08-10 20:00:00", 2, 2);
    s.daily("future", "2004-08-02 09:30:00", "2004-08-12 09:30:00");
    const int before = s.writes();
    for (int i = 0; i < 3; ++i) {
        s.tick.tick();
    }
    QCOMPARE(s.writes(), before);

    const int late = s.daily("late", "2004-08-02 07:00:00", "2004-08-11 07:00:00");
    const int added = s.writes();
    s.tick.tick();
    s.tick.tick();
    QCOMPARE(s.writes(), added + 1);
    QCOMPARE(s.ntime(late), QString("2004-08-13 07:00:00"));
    QVERIFY(s.journal.events.isEmpty() && s.errors.isEmpty());
}

void TestSchedulerTick::oneTimeSessionRunsOnce() {
    Scene s("2004-08-12 10:00:05");
    const int id = s.t.addSession("once", "2004-08-12 10:00:00", "2004-08-12 10:00:00", 0);
    const int before = s.writes();
    for (const char* now : {"2004-08-12 10:00:05", "2004-08-12 10:00:35", "2004-08-12 10:01:30",
                            "2004-08-13 10:00:00"}) {
        s.setNow(now);
        s.tick.tick();
    }
    QCOMPARE(s.journal.events, QStringList({"run once", Complete}));
    QCOMPARE(s.ntime(id), QString("2004-08-12 10:00:00"));
    QCOMPARE(s.writes(), before);
}

void TestSchedulerTick::failedTickLeavesNothingOpen() {
    Scene s("2004-08-12 10:00:10");
    const int first = s.daily("first", "2004-08-02 08:00:00", "2004-08-10 08:00:00");
    const int second = s.daily("second", "2004-08-02 09:00:00", "2004-08-10 09:00:00");
    s.daily("due", "2004-08-02 10:00:00", "2004-08-12 10:00:00");
    s.t.exec(QString("create trigger refuse before update on Tasks when old.id=%1 "
                     "begin select raise(abort, 'disk says no'); end")
                 .arg(second));
    s.tick.tick();
    QCOMPARE(s.errors.size(), 1);
    QVERIFY(s.errors[0].startsWith("2004-08-12 10:00:10 "));
    QVERIFY(s.errors[0].contains("disk says no"));
    // The moves of one tick are stored together or not at all, and no transaction stays open.
    QCOMPARE(s.ntime(first), QString("2004-08-10 08:00:00"));
    QVERIFY(s.t.db().transaction());
    QVERIFY(s.t.db().rollback());

    s.t.exec("drop trigger refuse");
    s.runner.onRun = [](const BackupSession&) {
        throw VError(1, "LPack", "archive store is full");
    };
    s.tick.tick();
    QCOMPARE(s.ntime(first), QString("2004-08-13 08:00:00"));
    QCOMPARE(s.ntime(second), QString("2004-08-13 09:00:00"));
    QCOMPARE(s.errors.size(), 2);
    QVERIFY(s.errors[1].contains("archive store is full"));

    // The failed run's minute counts as started.
    s.runner.onRun = nullptr;
    s.setNow("2004-08-12 10:00:40");
    s.tick.tick();
    QCOMPARE(s.journal.events, QStringList({"run due"}));
    QCOMPARE(s.errors.size(), 2);
}

QTEST_GUILESS_MAIN(TestSchedulerTick)
#include "TestSchedulerTick.moc"
