#include "BackupRunner.h"

#include "store/RunHistory.h"
#include "store/SessionStore.h"

#include <QElapsedTimer>
#include <QThread>

namespace {

// Progress comes far more often than anyone can read it.
constexpr qint64 ProgressEveryMs = 100;

// The log a background run writes into: every line goes to the observer on the thread that
// started the run, through that thread's event queue, so lines keep their order.
class RelayLog : public EventLog {
public:
    RelayLog(QObject* home, std::shared_ptr<RunObserver> observer)
        : m_home(home)
        , m_observer(std::move(observer)) {
        m_sinceProgress.start();
    }

    void appendLine(const QString& text, int icon) override {
        post([text, icon](RunObserver& o) { o.appendLine(text, icon); });
    }
    void clear() override {
        post([](RunObserver& o) { o.clear(); });
    }
    void progress(const RunProgress& p) {
        const bool last = p.done >= p.total;
        if (!last && m_sinceProgress.elapsed() < ProgressEveryMs) {
            return;
        }
        m_sinceProgress.restart();
        post([p](RunObserver& o) { o.progress(p); });
    }

private:
    void post(std::function<void(RunObserver&)> deliver) {
        QMetaObject::invokeMethod(
            m_home, [observer = m_observer, deliver] { deliver(*observer); }, Qt::QueuedConnection);
    }

    QObject* m_home;
    std::shared_ptr<RunObserver> m_observer;
    QElapsedTimer m_sinceProgress;
};

// Passes everything on and keeps the lines, for the ended run.
class Recorder : public RunObserver {
public:
    explicit Recorder(std::shared_ptr<RunObserver> next)
        : m_next(std::move(next)) {}

    void runStarted(const RunRecord& run) override { m_next->runStarted(run); }
    void pathsRead(const QStringList& paths) override { m_next->pathsRead(paths); }
    void appendLine(const QString& text, int icon) override {
        lines.push_back({text, icon != IconFailure});
        m_next->appendLine(text, icon);
    }
    void clear() override {
        lines.clear();
        m_next->clear();
    }
    void progress(const RunProgress& p) override { m_next->progress(p); }
    void runEnded(const RunRecord& run) override { m_next->runEnded(run); }

    std::vector<RunLine> lines;

private:
    std::shared_ptr<RunObserver> m_next;
};

// Not owned: the caller's observer outlives the synchronous run.
std::shared_ptr<RunObserver> borrowed(RunObserver& observer) {
    return {std::shared_ptr<RunObserver>(), &observer};
}

// A run whose paths could not be read.
RunResult unread() {
    RunResult result;
    result.outcome = RunOutcome::Failed;
    return result;
}

RunRecord started(const BackupSession& session, RunKind kind, const Clock& clock) {
    RunRecord run;
    run.sessionId = session.id;
    run.session = session.name;
    run.kind = kind;
    run.start = clock();
    return run;
}

void end(RunRecord& run, const RunResult& result, Recorder& recorder, const Clock& clock) {
    run.end = clock();
    run.outcome = result.outcome;
    run.archive = result.archive;
    run.bytes = result.bytes;
    run.entries = result.entries;
    run.destination = result.destination;
    run.archiveState = result.waiting ? ArchiveState::Waiting : ArchiveState::AsLeft;
    run.lines = recorder.lines;
    recorder.runEnded(run);
}

void keepChanges(RunHistory* history, const RunResult& result) {
    if (history == nullptr) {
        return;
    }
    try {
        history->changeArchives(result.changes);
    } catch (const VError& error) {
        writeToStandardError(localNow().toStoredText() +
                             QStringLiteral(" run history not written: ") +
                             errorLineText(error.record()));
    }
}

} // namespace

BackupRunner::BackupRunner(SessionStore& store, SessionRun run)
    : m_store(store)
    , m_run(std::move(run)) {
}

RunSession BackupRunner::readSession(const BackupSession& session, RunObserver& observer) const {
    RunSession out{session.keep, session.skip, {}};
    if (m_history != nullptr && (session.keep > 0 || m_run.uploads())) {
        try {
            out.archives = m_history->archivesOf(session.id);
        } catch (const VError& error) {
            out.keep = 0;
            LogLine(observer,
                    errorLogText(error.record()) +
                        QStringLiteral(" No earlier archive is sent or deleted in this run."),
                    IconFailure);
        }
    }
    return out;
}

bool BackupRunner::readPaths(const BackupSession& session, RunObserver& observer,
                             QStringList& paths) const {
    try {
        paths = m_store.sessionFiles(session.id);
    } catch (const VError& error) {
        LogLine(observer, errorLogText(error.record()), IconFailure);
        return false;
    }
    observer.pathsRead(paths);
    return true;
}

RunRecord BackupRunner::run(const BackupSession& session, RunKind kind,
                            RunObserver& observer) const {
    Recorder recorder(borrowed(observer));
    RunRecord run = started(session, kind, m_run.clock());
    recorder.runStarted(run);
    QStringList paths;
    RunResult result = unread();
    if (readPaths(session, recorder, paths)) {
        const RunSession about = readSession(session, recorder);
        result = m_run.LPack(
            paths, recorder, [&recorder](const RunProgress& p) { recorder.progress(p); }, about);
        keepChanges(m_history, result);
    }
    end(run, result, recorder, m_run.clock());
    return run;
}

void BackupRunner::start(const BackupSession& session, RunKind kind,
                         std::shared_ptr<RunObserver> observer, Done done) const {
    auto recorder = std::make_shared<Recorder>(std::move(observer));
    auto run = std::make_shared<RunRecord>(started(session, kind, m_run.clock()));
    recorder->runStarted(*run);
    QStringList paths;
    if (!readPaths(session, *recorder, paths)) {
        end(*run, unread(), *recorder, m_run.clock());
        done(*run);
        return;
    }
    // Lives on this thread; whatever the worker posts to it arrives here in order.
    auto* home = new QObject;
    auto log = std::make_shared<RelayLog>(home, recorder);
    auto result = std::make_shared<RunResult>();
    const RunSession about = readSession(session, *recorder);
    QThread* worker = QThread::create([sessionRun = m_run, paths, log, result, about] {
        *result = sessionRun.LPack(
            paths, *log, [&log](const RunProgress& p) { log->progress(p); }, about);
    });
    // The history is written on this thread, which owns the database connection.
    QObject::connect(
        worker, &QThread::finished, home,
        [history = m_history, worker, home, recorder, run, result, done, clock = m_run.clock()] {
            worker->wait();
            delete worker;
            home->deleteLater();
            keepChanges(history, *result);
            end(*run, *result, *recorder, clock);
            done(*run);
        });
    worker->start();
}
