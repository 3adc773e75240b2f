#include "SchedulerTick.h"

#include "NextRun.h"
#include "common/DatePattern.h"
#include "common/Error.h"

#include <algorithm>
#include <exception>

namespace {

// Two moments are in the same minute when their minute texts are equal.
QString minuteText(const DateTime& value) {
    return formatDate(value, QStringLiteral("dd mm yy hh:mm"));
}

bool scheduleChanged(const BackupSession& before, const BackupSession& after) {
    return before.ntime != after.ntime || before.week != after.week;
}

} // namespace

SchedulerTick::SchedulerTick(SessionStore& store, Clock clock, Messages& messages,
                             SessionRunner& runner)
    : m_store(store)
    , m_clock(std::move(clock))
    , m_messages(messages)
    , m_runner(runner)
    , m_report(writeToStandardError) {
}

void SchedulerTick::setErrorReport(ErrorReport report) {
    m_report = report ? std::move(report) : ErrorReport(writeToStandardError);
}

void SchedulerTick::tick() {
    try {
        runTick();
    } catch (const VError& error) {
        reportError(error.source(), errorLineText(error.record()));
    } catch (const std::exception& error) {
        reportError(QString(), QString::fromLocal8Bit(error.what()));
    } catch (...) {
        reportError(QString(), QStringLiteral("unknown error"));
    }
}

void SchedulerTick::reportError(const QString& source, const QString& description) {
    QString when;
    try {
        when = m_clock().toStoredText();
    } catch (...) {
        when = localNow().toStoredText();
    }
    QString line = when + QStringLiteral(" scheduler tick failed: ");
    if (!source.isEmpty()) {
        line += source + QStringLiteral(": ");
    }
    m_report(line + description);
}

void SchedulerTick::runTick() {
    // A session is stale when its time lies more than a minute in the past; "now" is read afresh.
    const auto isStale = [this](const BackupSession& row) {
        return row.ntime && *row.ntime < m_clock().addMinutes(-1);
    };

    // The tick's own reading of the sessions, in schedule order, as far as it needs them: the
    // stale ones, the first that is not, and those sharing its time. The read is closed before
    // anything can show a message.
    const auto readLeadingSessions = [&] {
        std::vector<BackupSession> rows;
        m_store.readSessionsWhile([&](const BackupSession& row) {
            if (!rows.empty() && !isStale(rows.back()) && row.ntime != rows.back().ntime) {
                return false;
            }
            rows.push_back(row);
            return true;
        });
        return rows;
    };
    std::vector<BackupSession> rows = readLeadingSessions();

    // Stale pass: sessions more than a minute past their time move on to their next run without
    // running. The new values are all computed before any is written, because computing one may
    // show a message, and a tick running inside that message must not meet an open transaction.
    std::vector<BackupSession> moved;
    auto current = rows.begin();
    for (; current != rows.end(); ++current) {
        if (!isStale(*current)) {
            break;
        }
        const BackupSession before = *current;
        current->ntime = NextRun(*current, m_clock, m_messages);
        // A session that cannot move (a past one-time session, say) comes back every tick;
        // rewriting the same values would only wear the disk.
        if (scheduleChanged(before, *current)) {
            moved.push_back(*current);
        }
    }
    if (!moved.empty()) {
        Transaction transaction(m_store.database());
        for (const BackupSession& row : moved) {
            m_store.updateSchedule(row);
        }
        transaction.commit();
        // A session moved on may have landed in the current minute, beside the first one that
        // was not stale. Left out of this minute's group it would never run in it: the minute is
        // marked started. Reading again gives it its place in the group.
        rows = readLeadingSessions();
        current = std::find_if_not(rows.begin(), rows.end(), isStale);
    }
    if (current == rows.end()) {
        return;
    }

    // Due test on the first session that is not stale. Now is read once, so that the two minute
    // comparisons cannot straddle a minute's end.
    const QString nowMinute = minuteText(m_clock());
    if (!current->ntime || minuteText(*current->ntime) != nowMinute ||
        minuteText(m_lastStartTime) == nowMinute) {
        return;
    }
    const DateTime groupTime = *current->ntime;
    m_lastStartTime = groupTime;

    // Group run: every session with exactly this next run time, in schedule order. Each is read
    // again before it starts: a tick inside an earlier session's message may have moved it on.
    for (auto it = current; it != rows.end(); ++it) {
        if (it->ntime != groupTime) {
            continue;
        }
        std::optional<BackupSession> row = m_store.session(it->id);
        if (!row || row->ntime != groupTime) {
            continue;
        }
        m_runner.runSession(*row);
        const BackupSession before = *row;
        row->ntime = NextRun(*row, m_clock, m_messages);
        if (scheduleChanged(before, *row)) {
            m_store.updateSchedule(*row);
        }
        m_messages.show(QStringLiteral("Vestrel Session Complete!"));
    }
}
