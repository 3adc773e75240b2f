#pragma once

#include "SessionRunner.h"
#include "common/DateTime.h"
#include "common/Messages.h"

#include <deque>
#include <functional>
#include <optional>
#include <vector>

class SessionStore;

// One run at a time. Runs asked for while another one goes on wait their turn, in the order
// they were asked for, however long that takes: a session due during a long run runs after it
// instead of being skipped. Each run is followed by "Vestrel Session Complete!", or after a run
// that did not end ok by "Vestrel Session Failed! See the log."; a scheduled run also stores
// the session's next run time first. The next run starts when the message is closed.
class RunQueue {
public:
    RunQueue(SessionStore& store, Clock clock, Messages& messages, SessionRunner& runner);

    using Done = std::function<void(RunOutcome)>;

    struct Due {
        int sessionId = 0;
        DateTime time;
        RunKind kind = RunKind::Scheduled;
    };
    // Scheduled runs, in this order, of sessions due at the times given: all join the queue
    // before the first starts. One is skipped, when its turn comes, if the session is gone or no
    // longer due at its time (edited meanwhile).
    void runScheduled(const std::vector<Due>& sessions);
    // "Run Now": the session as stored; its next run time stays as it is. `done` hears the
    // outcome as soon as the run is over (failed when the session is gone meanwhile).
    void runNow(int sessionId, RunKind kind = RunKind::Now, Done done = {});
    // When it says so, a good run is told by a notification instead of the box.
    void setQuietSuccess(std::function<bool()> quiet);

    // A scheduled run of the session waits or runs: the scheduler leaves its time alone. (Run
    // Now does not hold it: its schedule still comes due meanwhile.)
    bool holds(int sessionId) const;
    bool idle() const { return !m_current && m_waiting.empty(); }

private:
    struct Request {
        int sessionId = 0;
        std::optional<DateTime> due; // empty for "Run Now"
        RunKind kind = RunKind::Scheduled;
        Done done;
    };

    void startNext();
    void finish(const Request& request, RunOutcome outcome);
    // Errors of the store, on standard error: a queue has no window of its own to say them in.
    void report(const QString& what, const QString& description);

    SessionStore& m_store;
    Clock m_clock;
    Messages& m_messages;
    SessionRunner& m_runner;
    std::function<bool()> m_quietSuccess;
    std::deque<Request> m_waiting;
    std::optional<Request> m_current;
};
