#include "ScheduleSeams.h"
#include "schedule/NextRun.h"

#include <QRandomGenerator>
#include <QTest>

namespace {

// Row, now, result, "Impossible!" count, and the lowered Week pending if not the stored one.
struct Case {
    int freq;
    QString start;
    std::optional<int> week, days;
    QString now, expected;
    int impossible = 0;
    std::optional<int> pendingWeek = std::nullopt;
};

// One day per step with no shortcut, the oracle for the fast path: daily and weekly sessions
// run up to a minute after their time of day, monthly ones only after it.
DateTime steppedNextRun(const BackupSession& row, const DateTime& now) {
    const int freq = *row.freq, days = *row.days;
    if (freq == 1 && (days & 127) == 0)
        return DateTime();
    DateTime d = *row.date;
    while (!(freq == 1   ? (days >> (d.weekday() - 1) & 1) && d.addMinutes(1) > now
             : freq == 2 ? d.weekday() == row.date->weekday() && d.addMinutes(1) > now
                         : d.day() == row.date->day() && d > now))
        d = d.addDays(1);
    return d;
}

} // namespace

Q_DECLARE_METATYPE(Case)

class TestNextRun : public QObject {
    Q_OBJECT

private slots:
    // What the day-by-day oracle below cannot tell: weeks of the month, and rows it never makes.
    void computes_data() {
        QTest::addColumn<Case>("c");
        const QString tue = "2004-08-03 20:00:00", thu = "2004-08-12 08:00:00";
        // clang-format off
        QTest::newRow("daily empty days runs every day") << Case{1, "2004-08-02 09:30:00", 0, std::nullopt, "2004-08-13 18:00:00", "2004-08-14 09:30:00"};
        QTest::newRow("weekly ninth week: once per level") << Case{2, tue, 9, 0, thu, "2005-05-31 20:00:00", 3, 6};
        QTest::newRow("weekly first day of scanned month never counts") << Case{2, "2004-06-01 20:00:00", 1, 0, "2004-06-02 08:00:00", "2004-11-02 20:00:00"};
        QTest::newRow("weekly Sunday in first week ends") << Case{2, "2004-08-01 10:00:00", 1, 0, thu, "2004-08-15 10:00:00", 1, 0};
        QTest::newRow("no start date") << Case{3, "", 0, 0, thu, "1899-12-30 00:00:00"};
        // clang-format on
    }

    void computes() {
        QFETCH(Case, c);
        BackupSession row;
        row.date = DateTime::fromStoredText(c.start);
        std::tie(row.freq, row.week, row.days) = std::tuple(c.freq, c.week, c.days);
        Journal journal;
        const Clock clock = [now = at(c.now)] {
            return now;
        };
        QCOMPARE(NextRun(row, clock, journal).toStoredText(), c.expected);
        QCOMPARE(journal.events, QStringList(c.impossible, "message Impossible!"));
        // The lowered week is left in the row for the caller to store.
        QCOMPARE(row.week, c.pendingWeek ? c.pendingWeek : c.week);
    }

    void skippingAheadMatchesDayByDayStepping() {
        QRandomGenerator random(20040802);
        Journal journal;
        const DateTime base = at("2000-01-01 00:00:00");
        for (int i = 0; i < 2000; ++i) {
            BackupSession row;
            row.freq = 1 + static_cast<int>(random.bounded(3));
            row.days = static_cast<int>(random.bounded(129));
            row.date = base.addSeconds(random.bounded(20 * 365 * 1440) * 60);
            // Now near the start's time of day too, where the allowance decides.
            const qint64 near = random.bounded(40 * 365) * 86400LL + random.bounded(121) - 60;
            const DateTime now = random.bounded(2)
                                     ? row.date->addSeconds(near)
                                     : base.addSeconds(random.bounded(30 * 365 * 86400LL));
            const Clock clock = [now] {
                return now;
            };
            QCOMPARE(NextRun(row, clock, journal), steppedNextRun(row, now));
        }
    }
};

QTEST_GUILESS_MAIN(TestNextRun)
#include "TestNextRun.moc"
