#pragma once

#include "common/DateTime.h"
#include "common/Messages.h"
#include "schedule/SessionRunner.h"
#include "store/SessionStore.h"

#include <QString>
#include <functional>

// What the main window's timer does about three times a second: bring every session whose next
// run time has passed more than a minute ago forward to its next run, then start the sessions
// whose next run time is the current minute, unless that minute was started already.
//
// A tick may run inside another one (while a message of the outer tick is open); each reads the
// sessions afresh, and `lastStartTime` keeps a minute from being started twice.
class SchedulerTick {
public:
    using ErrorReport = std::function<void(const QString& line)>;

    SchedulerTick(SessionStore& store, Clock clock, Messages& messages, SessionRunner& runner);

    // Never throws: an error ends the tick, is reported with the time, and the next tick starts
    // afresh.
    void tick();

    // The next run time of the group of sessions started last; the zero date before the first.
    DateTime lastStartTime() const { return m_lastStartTime; }

    // Where errors that end a tick go; standard error unless replaced.
    void setErrorReport(ErrorReport report);

private:
    void runTick();
    void reportError(const QString& source, const QString& description);

    SessionStore& m_store;
    Clock m_clock;
    Messages& m_messages;
    SessionRunner& m_runner;
    ErrorReport m_report;
    DateTime m_lastStartTime;
};
