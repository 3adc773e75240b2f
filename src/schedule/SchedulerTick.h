#pragma once

#include "LastStartFile.h"
#include "RunQueue.h"
#include "common/DateTime.h"
#include "common/Messages.h"
#include "store/SessionStore.h"

#include <QString>
#include <functional>
#include <optional>
#include <vector>

// What the main window's timer does about three times a second: bring every session whose next
// run time has passed more than a minute ago forward to its next run, then start the sessions
// whose next run time is the current minute, unless that minute was started already. Started
// sessions go to the run queue; while one waits or runs there, its time is left alone.
//
// A tick may run inside another one (while a message is open); each reads the sessions afresh,
// and `lastStartTime` keeps a minute from being started twice.
class SchedulerTick {
public:
    using ErrorReport = std::function<void(const QString& line)>;

    // Time the machine has been awake, and time since it booted, sleep included; both in
    // milliseconds from any fixed point.
    struct Uptime {
        qint64 awakeMs = 0;
        qint64 sinceBootMs = 0;
    };
    using UptimeClock = std::function<Uptime()>;
    // The machine's own clocks (CLOCK_MONOTONIC and CLOCK_BOOTTIME).
    static Uptime machineUptime();

    SchedulerTick(SessionStore& store, Clock clock, Messages& messages, RunQueue& queue);

    // Never throws: an error ends the tick and is reported with the time, once while it lasts;
    // the next tick starts afresh.
    void tick();

    // Keeps the started minute across restarts; reads the one kept before.
    void setLastStartFile(const QString& path);
    // With the machine's uptime the tick tells a forward jump of the wall clock while the
    // program runs (daylight saving time starting, a clock set forward) from a sleep: sessions
    // whose time the jump passed over run at once instead of being moved on.
    void setUptimeClock(UptimeClock uptime);
    // Where errors that end a tick go; standard error unless replaced.
    void setErrorReport(ErrorReport report);
    // Hears, once per tick that found any, the sessions whose time passed without a run (the
    // program was not running, or the machine slept), as they were read, in due order.
    using MissedReport = std::function<void(const std::vector<BackupSession>& missed)>;
    void setMissedReport(MissedReport report);
    // When it says so, each missed session runs once (as caught up) instead of only moving on.
    void setCatchUp(std::function<bool()> catchUp);

private:
    struct Reading {
        DateTime wall;
        Uptime uptime;
    };

    void runTick();
    std::optional<DateTime> jumpedFrom(const DateTime& now);
    void markStarted(const DateTime& groupTime);
    void reportError(const QString& text);

    SessionStore& m_store;
    Clock m_clock;
    Messages& m_messages;
    RunQueue& m_queue;
    ErrorReport m_report;
    MissedReport m_missedReport;
    std::function<bool()> m_catchUp;
    UptimeClock m_uptime;
    std::optional<LastStartFile> m_lastStartFile;
    std::optional<Reading> m_previous;
    DateTime m_lastStartTime; // the next run time of the group started last; zero before any
    QString m_failing;        // the error that ended the last tick, reported once
};
