#include "NextRun.h"

#include <stdexcept>

namespace {

constexpr int StepsBeforeGivingUp = 730;

// The last moment the calendar can hold; a computation that would pass it has failed.
const DateTime LastMoment = *DateTime::fromParts(9999, 12, 31, 23, 59, 59);

// Every day from `start` to `start + days` passes the "already past" test for as long as the
// clock does not run backwards, so day-by-day stepping would walk over all of them: skip to the
// first day whose `start + days + grace` lies after `now`.
DateTime firstDayNotPast(const DateTime& start, const DateTime& now, std::int64_t graceSeconds) {
    const std::int64_t behind = now.seconds() - (start.seconds() + graceSeconds);
    if (behind < 0) {
        return start;
    }
    return start.addDays(behind / DateTime::SecondsPerDay + 1);
}

void checkInCalendar(const DateTime& value) {
    if (value > LastMoment) {
        throw std::range_error("date beyond the calendar");
    }
}

DateTime daily(const DateTime& start, const std::optional<int>& days, const Clock& now) {
    // An empty weekday set allows every day; a set without any of the seven weekday bits none.
    if (days && (*days & 0x7f) == 0) {
        return DateTime();
    }
    auto allowed = [&](const DateTime& d) {
        return !days || (*days & (1 << (d.weekday() - 1)));
    };
    DateTime d = firstDayNotPast(start, now(), DateTime::SecondsPerMinute);
    while (!allowed(d) || d.addMinutes(1) <= now()) {
        d = d.addDays(1);
        checkInCalendar(d);
    }
    return d;
}

// The second day of `d`'s month at `d`'s time of day: where the week-of-month count begins.
DateTime scanStart(const DateTime& d) {
    return d.addDays(2 - d.day());
}

DateTime weekly(const DateTime& start, BackupSession& row, const Clock& now, Messages& messages) {
    const int startWeekday = start.weekday();
    DateTime d = firstDayNotPast(start, now(), DateTime::SecondsPerMinute);
    while (d.weekday() != startWeekday || d.addMinutes(1) <= now()) {
        d = d.addDays(1);
        checkInCalendar(d);
    }
    if (!row.week || *row.week <= 0) {
        return d;
    }

    // Weeks of a month are counted from 1, each Sunday opening a new one.
    DateTime m = scanStart(d);
    int n = 1;
    int steps = 0;
    for (;;) {
        if (m.weekday() == 1) {
            ++n;
        }
        if (m.weekday() == startWeekday && row.week && *row.week == n) {
            return m;
        }
        const DateTime next = m.addDays(1);
        if (next.month() != m.month()) {
            n = 1;
        }
        m = next;
        checkInCalendar(m);
        if (++steps <= StepsBeforeGivingUp) {
            continue;
        }
        messages.show(QStringLiteral("Impossible!"));
        steps = 0;
        m = scanStart(d);
        n = 1;
        row.week = row.week.value_or(0) - 1;
        // No week below the first can ever match: a week of 0 means every week.
        if (*row.week <= 0) {
            return d;
        }
    }
}

DateTime monthly(const DateTime& start, const Clock& now) {
    const int startDay = start.day();
    DateTime d = firstDayNotPast(start, now(), 0);
    while (d.day() != startDay || d <= now()) {
        d = d.addDays(1);
        checkInCalendar(d);
    }
    return d;
}

} // namespace

DateTime NextRun(BackupSession& row, const Clock& now, Messages& messages) {
    try {
        if (!row.date) {
            return DateTime();
        }
        const DateTime start = *row.date;
        switch (row.freq.value_or(-1)) {
        case static_cast<int>(Frequency::Daily):
            return daily(start, row.days, now);
        case static_cast<int>(Frequency::Weekly):
            return weekly(start, row, now, messages);
        case static_cast<int>(Frequency::Monthly):
            return monthly(start, now);
        default:
            // Once, and any frequency the program does not know: the start itself.
            return start;
        }
    } catch (...) {
        return DateTime();
    }
}
