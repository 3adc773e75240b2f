#include "RunQueue.h"

#include "NextRun.h"
#include "common/Error.h"
#include "store/SessionStore.h"

#include <algorithm>

RunQueue::RunQueue(SessionStore& store, Clock clock, Messages& messages, SessionRunner& runner)
    : m_store(store)
    , m_clock(std::move(clock))
    , m_messages(messages)
    , m_runner(runner) {
}

void RunQueue::runScheduled(const std::vector<Due>& sessions) {
    for (const Due& due : sessions) {
        m_waiting.push_back({due.sessionId, due.time, due.kind, {}});
    }
    startNext();
}

void RunQueue::runNow(int sessionId, RunKind kind, Done done) {
    m_waiting.push_back({sessionId, std::nullopt, kind, std::move(done)});
    startNext();
}

void RunQueue::setQuietSuccess(std::function<bool()> quiet) {
    m_quietSuccess = std::move(quiet);
}

bool RunQueue::holds(int sessionId) const {
    const auto scheduled = [sessionId](const Request& request) {
        return request.due && request.sessionId == sessionId;
    };
    return (m_current && scheduled(*m_current)) ||
           std::any_of(m_waiting.begin(), m_waiting.end(), scheduled);
}

void RunQueue::startNext() {
    while (!m_current && !m_waiting.empty()) {
        const Request request = m_waiting.front();
        m_waiting.pop_front();
        std::optional<BackupSession> row;
        try {
            row = m_store.session(request.sessionId);
        } catch (const VError& error) {
            report(QStringLiteral("run not started"), errorLineText(error.record()));
        }
        // Deleted, or given another time by the editor while it waited.
        if (!row || (request.due && row->ntime != request.due)) {
            if (request.done) {
                request.done(RunOutcome::Failed);
            }
            continue;
        }
        m_current = request;
        // A runner that works synchronously finishes inside this call; the loop then finds
        // the queue already moved on.
        m_runner.runSession(*row, request.kind,
                            [this, request](RunOutcome outcome) { finish(request, outcome); });
    }
}

void RunQueue::finish(const Request& request, RunOutcome outcome) {
    if (request.due) {
        try {
            std::optional<BackupSession> read = m_store.session(request.sessionId);
            if (read && read->ntime == request.due) {
                // The run has used its minute: the next time is computed from the minute after
                // it at the earliest, so that the row never again names a minute already run
                // (a restart within that minute must not run it twice).
                const DateTime after = request.due->addMinutes(1);
                const Clock notBefore = [this, after] {
                    return std::max(m_clock(), after);
                };
                BackupSession next = *read;
                next.ntime = NextRun(next, notBefore, m_messages);
                if (next.ntime != read->ntime || next.week != read->week) {
                    m_store.updateSchedule(*read, next);
                }
            }
        } catch (const VError& error) {
            report(QStringLiteral("next run time not stored"), errorLineText(error.record()));
        }
    }
    // Whoever asked hears at once, not after the box is answered.
    if (request.done) {
        request.done(outcome);
    }
    if (outcome != RunOutcome::Ok) {
        m_messages.warn(QStringLiteral("Vestrel Session Failed! See the log."));
    } else if (m_quietSuccess && m_quietSuccess()) {
        m_messages.notify(QStringLiteral("Vestrel Session Complete!"));
    } else {
        m_messages.show(QStringLiteral("Vestrel Session Complete!"));
    }
    m_current.reset();
    startNext();
}

void RunQueue::report(const QString& what, const QString& description) {
    writeToStandardError(m_clock().toStoredText() + QLatin1Char(' ') + what + QStringLiteral(": ") +
                         description);
}
