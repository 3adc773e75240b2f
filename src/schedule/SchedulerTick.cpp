#include "SchedulerTick.h"

#include "NextRun.h"
#include "common/DatePattern.h"
#include "common/Error.h"
#include "store/BusyTimeout.h"

#include <algorithm>
#include <ctime>
#include <exception>
#include <utility>

namespace {

// A tick waits only this long for a lock another program holds on the database: the next tick
// comes 300 ms later anyway, and the tray menu and every window must keep answering meanwhile.
constexpr int TickBusyMs = 50;

// A wall clock running ahead of the awake time by more than this has jumped.
constexpr qint64 JumpMs = 60 * 1000;
// Boot time running ahead of the awake time by more than this means the machine slept.
constexpr qint64 SleepMs = 5 * 1000;

// Two moments are in the same minute when their minute texts are equal.
QString minuteText(const DateTime& value) {
    return formatDate(value, QStringLiteral("dd mm yy hh:mm"));
}

bool scheduleChanged(const BackupSession& before, const BackupSession& after) {
    return before.ntime != after.ntime || before.week != after.week;
}

qint64 clockMs(clockid_t id) {
    timespec t{};
    clock_gettime(id, &t);
    return qint64(t.tv_sec) * 1000 + t.tv_nsec / 1000000;
}

} // namespace

SchedulerTick::Uptime SchedulerTick::machineUptime() {
    return {clockMs(CLOCK_MONOTONIC), clockMs(CLOCK_BOOTTIME)};
}

SchedulerTick::SchedulerTick(SessionStore& store, Clock clock, Messages& messages, RunQueue& queue)
    : m_store(store)
    , m_clock(std::move(clock))
    , m_messages(messages)
    , m_queue(queue)
    , m_report(writeToStandardError) {
}

void SchedulerTick::setLastStartFile(const QString& path) {
    m_lastStartFile.emplace(path);
    m_lastStartTime = std::max(m_lastStartTime, m_lastStartFile->read());
}

void SchedulerTick::setUptimeClock(UptimeClock uptime) {
    m_uptime = std::move(uptime);
}

void SchedulerTick::setErrorReport(ErrorReport report) {
    m_report = report ? std::move(report) : ErrorReport(writeToStandardError);
}

void SchedulerTick::setMissedReport(MissedReport report) {
    m_missedReport = std::move(report);
}

void SchedulerTick::setCatchUp(std::function<bool()> catchUp) {
    m_catchUp = std::move(catchUp);
}

void SchedulerTick::tick() {
    try {
        BusyTimeout shortWait(m_store.database(), TickBusyMs);
        runTick();
        if (!m_failing.isEmpty()) {
            m_failing.clear();
            reportError(QStringLiteral("scheduler tick works again"));
        }
        return;
    } catch (const VError& error) {
        const QString text = QStringLiteral("scheduler tick failed: ") +
                             (error.source().isEmpty() ? QString() : error.source() + ": ") +
                             errorLineText(error.record());
        if (text != m_failing) {
            m_failing = text;
            reportError(text);
        }
    } catch (const std::exception& error) {
        reportError(QStringLiteral("scheduler tick failed: ") +
                    QString::fromLocal8Bit(error.what()));
    }
}

void SchedulerTick::reportError(const QString& text) {
    QString when;
    try {
        when = m_clock().toStoredText();
    } catch (...) {
        when = localNow().toStoredText();
    }
    m_report(when + QLatin1Char(' ') + text);
}

std::optional<DateTime> SchedulerTick::jumpedFrom(const DateTime& now) {
    if (!m_uptime) {
        return std::nullopt;
    }
    const Reading reading{now, m_uptime()};
    const std::optional<Reading> previous = std::exchange(m_previous, reading);
    if (!previous) {
        return std::nullopt;
    }
    const qint64 wallMs = (now.seconds() - previous->wall.seconds()) * 1000;
    const qint64 awakeMs = reading.uptime.awakeMs - previous->uptime.awakeMs;
    const qint64 bootMs = reading.uptime.sinceBootMs - previous->uptime.sinceBootMs;
    if (bootMs - awakeMs > SleepMs || wallMs - awakeMs <= JumpMs) {
        return std::nullopt;
    }
    return previous->wall;
}

void SchedulerTick::markStarted(const DateTime& groupTime) {
    m_lastStartTime = groupTime;
    if (!m_lastStartFile) {
        return;
    }
    try {
        m_lastStartFile->write(groupTime);
    } catch (const VError& error) {
        // The group still runs; only a restart within the minute could start it again.
        reportError(QStringLiteral("scheduler tick: ") + errorLineText(error.record()));
    }
}

void SchedulerTick::runTick() {
    // Sessions past the time the wall clock jumped from were not late: the jump skipped them.
    const std::optional<DateTime> jumped = jumpedFrom(m_clock());

    // A session is stale when its time lies more than a minute in the past; "now" is read afresh.
    const auto isStale = [this](const BackupSession& row) {
        return row.ntime && *row.ntime < m_clock().addMinutes(-1);
    };
    // A session without a next run time (an Add not yet saved) is passed over like one in the
    // queue: were it to lead the order, no other session would ever come due.
    const auto held = [this](const BackupSession& row) {
        return !row.ntime || m_queue.holds(row.id);
    };

    // The tick's own reading of the sessions, in schedule order, as far as it needs them: the
    // stale ones, the first that is not, and those sharing its time. Sessions in the run queue
    // are passed over. The read is closed before anything can show a message.
    const auto readLeadingSessions = [&] {
        std::vector<BackupSession> rows;
        std::optional<std::optional<DateTime>> firstTime; // of the first neither held nor stale
        m_store.readSessionsWhile([&](const BackupSession& row) {
            if (firstTime && row.ntime != *firstTime) {
                return false;
            }
            rows.push_back(row);
            if (!firstTime && !held(row) && !isStale(row)) {
                firstTime = row.ntime;
            }
            return true;
        });
        return rows;
    };
    std::vector<BackupSession> rows = readLeadingSessions();

    // Stale pass: sessions more than a minute past their time move on to their next run without
    // running (or, to catch up, run once first); those the wall clock jumped over run now
    // instead. The new values are all computed before any is written, because computing one
    // may show a message, and a tick running inside that message must not meet an open
    // transaction.
    std::vector<std::pair<BackupSession, BackupSession>> moved;
    std::vector<RunQueue::Due> skipped;
    std::vector<BackupSession> missed;
    const bool catchUp = m_catchUp && m_catchUp();
    for (const BackupSession& row : rows) {
        if (held(row)) {
            continue;
        }
        if (!isStale(row)) {
            break;
        }
        if (jumped && *row.ntime >= jumped->addMinutes(-1)) {
            skipped.push_back({row.id, *row.ntime});
            continue;
        }
        BackupSession next = row;
        next.ntime = NextRun(next, m_clock, m_messages);
        // A session that cannot move (a past one-time session, say) comes back every tick;
        // rewriting the same values would only wear the disk, and it was not missed again.
        if (!scheduleChanged(row, next)) {
            continue;
        }
        missed.push_back(row);
        if (catchUp) {
            // The queue holds it meanwhile, and moves it on once it has run.
            skipped.push_back({row.id, *row.ntime, RunKind::CaughtUp});
        } else {
            moved.emplace_back(row, next);
        }
    }
    if (!moved.empty()) {
        Transaction transaction(m_store.database());
        for (const auto& [read, next] : moved) {
            // A Save made while a message of this pass was open is not overwritten.
            m_store.updateSchedule(read, next);
        }
        transaction.commit();
    }
    if (!missed.empty() && m_missedReport) {
        m_missedReport(missed);
    }
    m_queue.runScheduled(skipped);
    if (!moved.empty() || !skipped.empty()) {
        // A session moved on may have landed in the current minute, beside the first one that
        // was not stale. Left out of this minute's group it would never run in it: the minute is
        // marked started. Reading again gives it its place in the group.
        rows = readLeadingSessions();
    }
    auto current = std::find_if(rows.begin(), rows.end(), [&](const BackupSession& row) {
        return !held(row) && !isStale(row);
    });
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
    markStarted(groupTime);

    // Group run: every session with exactly this next run time, in schedule order, one after
    // the other through the run queue.
    std::vector<RunQueue::Due> group;
    for (auto it = current; it != rows.end(); ++it) {
        if (it->ntime == groupTime && !held(*it)) {
            group.push_back({it->id, groupTime});
        }
    }
    m_queue.runScheduled(group);
}
