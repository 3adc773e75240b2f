#include "ScheduleSeams.h"
#include "TestDatabase.h"
#include "schedule/NextRun.h"
#include "store/SessionStore.h"

#include <QRandomGenerator>
#include <QTest>

namespace {

std::optional<int> optionalInt(const QVariant& v) {
    return v.isValid() ? std::optional<int>(v.toInt()) : std::nullopt;
}

const QString Zero = QStringLiteral("1899-12-30 00:00:00");

// The computation as written, one day per step with no shortcut: the oracle for the fast path.
DateTime steppedNextRun(const BackupSession& row, const DateTime& now) {
    const DateTime start = *row.date;
    DateTime d = start;
    switch (*row.freq) {
    case 1:
        if (row.days && (*row.days & 127) == 0) {
            return DateTime();
        }
        while ((row.days && !(*row.days & (1 << (d.weekday() - 1)))) || d.addMinutes(1) <= now) {
            d = d.addDays(1);
        }
        return d;
    case 2:
        while (d.weekday() != start.weekday() || d.addMinutes(1) <= now) {
            d = d.addDays(1);
        }
        return d;
    case 3:
        while (d.day() != start.day() || d <= now) {
            d = d.addDays(1);
        }
        return d;
    default:
        return d;
    }
}

} // namespace

class TestNextRun : public QObject {
    Q_OBJECT

private slots:
    void computesFromStoredRow_data();
    void computesFromStoredRow();
    void skippingAheadMatchesDayByDayStepping();
};

void TestNextRun::computesFromStoredRow_data() {
    QTest::addColumn<int>("freq");
    QTest::addColumn<QString>("start");
    QTest::addColumn<QVariant>("week");
    QTest::addColumn<QVariant>("days");
    QTest::addColumn<QString>("now");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<int>("impossible");
    QTest::addColumn<QVariant>("pendingWeek");

    const QString mon = "2004-08-02 09:30:00";
    const QString fri1800 = "2004-08-13 18:00:00";
    const QVariant none;
    // clang-format off
    QTest::newRow("daily workdays skip the weekend") << 1 << mon << QVariant(0) << QVariant(62) << fri1800 << "2004-08-16 09:30:00" << 0 << QVariant(0);
    QTest::newRow("daily all days: current minute still counts") << 1 << mon << QVariant(0) << QVariant(127) << "2004-08-13 09:30:40" << "2004-08-13 09:30:00" << 0 << QVariant(0);
    QTest::newRow("daily all days: a minute later it is tomorrow") << 1 << mon << QVariant(0) << QVariant(127) << "2004-08-13 09:31:00" << "2004-08-14 09:30:00" << 0 << QVariant(0);
    QTest::newRow("daily weekend") << 1 << mon << QVariant(0) << QVariant(65) << fri1800 << "2004-08-14 09:30:00" << 0 << QVariant(0);
    QTest::newRow("daily empty days runs every day") << 1 << mon << QVariant(0) << none << fri1800 << "2004-08-14 09:30:00" << 0 << QVariant(0);
    QTest::newRow("daily no weekday") << 1 << mon << QVariant(0) << QVariant(0) << fri1800 << Zero << 0 << QVariant(0);
    QTest::newRow("daily only a non-weekday bit") << 1 << mon << QVariant(0) << QVariant(128) << fri1800 << Zero << 0 << QVariant(0);
    QTest::newRow("daily start in the future") << 1 << "2004-09-01 09:30:00" << QVariant(0) << QVariant(127) << fri1800 << "2004-09-01 09:30:00" << 0 << QVariant(0);

    const QString tue = "2004-08-03 20:00:00";
    const QString thu = "2004-08-12 08:00:00";
    QTest::newRow("weekly every week") << 2 << tue << QVariant(0) << QVariant(0) << thu << "2004-08-17 20:00:00" << 0 << QVariant(0);
    QTest::newRow("weekly no week chosen") << 2 << tue << QVariant(-1) << QVariant(0) << thu << "2004-08-17 20:00:00" << 0 << QVariant(-1);
    QTest::newRow("weekly empty week") << 2 << tue << none << QVariant(0) << thu << "2004-08-17 20:00:00" << 0 << none;
    QTest::newRow("weekly second week lies before now") << 2 << tue << QVariant(2) << QVariant(0) << thu << "2004-08-10 20:00:00" << 0 << QVariant(2);
    QTest::newRow("weekly current minute still counts") << 2 << tue << QVariant(0) << QVariant(0) << "2004-08-10 20:00:59" << "2004-08-10 20:00:00" << 0 << QVariant(0);
    QTest::newRow("weekly seventh week is impossible") << 2 << tue << QVariant(7) << QVariant(0) << thu << "2005-05-31 20:00:00" << 1 << QVariant(6);
    QTest::newRow("weekly ninth week: once per level") << 2 << tue << QVariant(9) << QVariant(0) << thu << "2005-05-31 20:00:00" << 3 << QVariant(6);
    QTest::newRow("weekly first day of scanned month never counts") << 2 << "2004-06-01 20:00:00" << QVariant(1) << QVariant(0) << "2004-06-02 08:00:00" << "2004-11-02 20:00:00" << 0 << QVariant(1);
    QTest::newRow("weekly Sunday in first week ends") << 2 << "2004-08-01 10:00:00" << QVariant(1) << QVariant(0) << thu << "2004-08-15 10:00:00" << 1 << QVariant(0);

    const QString tenth = "2004-01-10 06:00:00";
    QTest::newRow("monthly from the 10th") << 3 << tenth << QVariant(0) << QVariant(0) << thu << "2004-09-10 06:00:00" << 0 << QVariant(0);
    QTest::newRow("monthly across the year's end") << 3 << tenth << QVariant(0) << QVariant(0) << "2004-12-20 08:00:00" << "2005-01-10 06:00:00" << 0 << QVariant(0);
    QTest::newRow("monthly no allowance") << 3 << tenth << QVariant(0) << QVariant(0) << "2004-08-10 06:00:30" << "2004-09-10 06:00:00" << 0 << QVariant(0);
    QTest::newRow("monthly from the 31st") << 3 << "2004-01-31 06:00:00" << QVariant(0) << QVariant(0) << thu << "2004-08-31 06:00:00" << 0 << QVariant(0);
    QTest::newRow("monthly 31st skips short months") << 3 << "2004-01-31 06:00:00" << QVariant(0) << QVariant(0) << "2004-09-01 08:00:00" << "2004-10-31 06:00:00" << 0 << QVariant(0);

    QTest::newRow("one time does not move") << 0 << tenth << QVariant(0) << QVariant(0) << thu << tenth << 0 << QVariant(0);
    QTest::newRow("unknown frequency keeps the start") << 9 << tenth << QVariant(0) << QVariant(0) << thu << tenth << 0 << QVariant(0);
    QTest::newRow("empty start") << 1 << QString() << QVariant(0) << QVariant(127) << thu << Zero << 0 << QVariant(0);
    QTest::newRow("unreadable start") << 3 << "soon" << QVariant(0) << QVariant(0) << thu << Zero << 0 << QVariant(0);
    // clang-format on
}

void TestNextRun::computesFromStoredRow() {
    QFETCH(int, freq);
    QFETCH(QString, start);
    QFETCH(QVariant, week);
    QFETCH(QVariant, days);
    QFETCH(QString, now);
    QFETCH(QString, expected);
    QFETCH(int, impossible);
    QFETCH(QVariant, pendingWeek);

    TestDatabase t;
    const int id = t.addSession("s", start, QString(), freq, optionalInt(week), optionalInt(days));
    SessionStore store(t.db());
    BackupSession row = *store.session(id);
    ManualClock clock{at(now)};
    Journal journal;
    ScriptedMessages messages(journal);

    QCOMPARE(NextRun(row, clock.clock(), messages).toStoredText(), expected);
    QCOMPARE(journal.events, QStringList(impossible, "message Impossible!"));
    QCOMPARE(row.week, optionalInt(pendingWeek));
    // The lowered week is pending: only the caller's update stores it.
    QCOMPARE(store.session(id)->week, optionalInt(week));
}

void TestNextRun::skippingAheadMatchesDayByDayStepping() {
    QRandomGenerator random(20040802);
    Journal journal;
    ScriptedMessages messages(journal);
    const DateTime base = at("2000-01-01 00:00:00");
    for (int i = 0; i < 3000; ++i) {
        BackupSession row;
        row.freq = 1 + static_cast<int>(random.bounded(3));
        row.days = static_cast<int>(random.bounded(129));
        row.week = 0;
        row.date = base.addSeconds(random.bounded(20 * 365) * DateTime::SecondsPerDay +
                                   random.bounded(1440) * 60);
        // Now near the start's time of day too, where the allowance decides.
        const DateTime now =
            random.bounded(2)
                ? row.date->addSeconds(random.bounded(40 * 365) * DateTime::SecondsPerDay +
                                       random.bounded(121) - 60)
                : base.addSeconds(random.bounded(30 * 365 * 86400LL));
        ManualClock clock{now};
        QCOMPARE(NextRun(row, clock.clock(), messages), steppedNextRun(row, now));
    }
}

QTEST_GUILESS_MAIN(TestNextRun)
#include "TestNextRun.moc"
