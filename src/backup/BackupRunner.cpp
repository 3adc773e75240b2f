#include "BackupRunner.h"

#include "store/SessionStore.h"

#include <QElapsedTimer>
#include <QThread>
#include <atomic>

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

    std::atomic<bool> failed{false};

private:
    void post(std::function<void(RunObserver&)> deliver) {
        QMetaObject::invokeMethod(
            m_home, [observer = m_observer, deliver] { deliver(*observer); }, Qt::QueuedConnection);
    }

    QObject* m_home;
    std::shared_ptr<RunObserver> m_observer;
    QElapsedTimer m_sinceProgress;
};

} // namespace

BackupRunner::BackupRunner(SessionStore& store, SessionRun run)
    : m_store(store)
    , m_run(std::move(run)) {
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

bool BackupRunner::run(const BackupSession& session, RunObserver& observer) const {
    QStringList paths;
    if (!readPaths(session, observer, paths)) {
        return true;
    }
    return m_run.LPack(paths, observer,
                       [&observer](const RunProgress& p) { observer.progress(p); });
}

void BackupRunner::start(const BackupSession& session, std::shared_ptr<RunObserver> observer,
                         Done done) const {
    QStringList paths;
    if (!readPaths(session, *observer, paths)) {
        done(true);
        return;
    }
    // Lives on this thread; whatever the worker posts to it arrives here in order.
    auto* home = new QObject;
    auto log = std::make_shared<RelayLog>(home, observer);
    QThread* worker = QThread::create([run = m_run, paths, log] {
        log->failed = run.LPack(paths, *log, [&log](const RunProgress& p) { log->progress(p); });
    });
    QObject::connect(worker, &QThread::finished, home, [worker, home, log, done] {
        worker->wait();
        delete worker;
        home->deleteLater();
        done(log->failed);
    });
    worker->start();
}
