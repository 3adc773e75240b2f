#include "HistoryCatalog.h"

#include "store/Options.h"
#include "store/RunHistory.h"
#include "store/Settings.h"

#include <QDir>
#include <QFileInfo>

namespace {

QDateTime asQDateTime(const DateTime& when) {
    return QDateTime(QDate(when.year(), when.month(), when.day()),
                     QTime(when.hour(), when.minute(), when.second()));
}

void report(const VError& error) {
    writeToStandardError(QStringLiteral("vestrel: the restore is not kept in the history: ") +
                         errorLineText(error.record()));
}

// Begins a history row when made and writes its end when destroyed, when the restore is over.
class RestoreRun : public EventLog {
public:
    RestoreRun(RunHistory& history, Clock clock, RunRecord run)
        : m_history(history)
        , m_clock(std::move(clock))
        , m_run(std::move(run)) {
        try {
            m_run.id = m_history.begin(m_run);
        } catch (const VError& error) {
            report(error);
        }
    }
    ~RestoreRun() override {
        if (m_run.id == 0)
            return;
        m_run.end = m_clock();
        const bool failed = std::any_of(m_run.lines.begin(), m_run.lines.end(),
                                        [](const RunLine& line) { return !line.ok; });
        m_run.outcome = failed ? RunOutcome::Failed : RunOutcome::Ok;
        try {
            m_history.finish(m_run);
        } catch (const VError& error) {
            report(error);
        }
    }
    RestoreRun(const RestoreRun&) = delete;
    RestoreRun& operator=(const RestoreRun&) = delete;

    void appendLine(const QString& text, int icon) override {
        m_run.lines.push_back({text, icon != IconFailure});
    }
    void clear() override { m_run.lines.clear(); }

private:
    RunHistory& m_history;
    Clock m_clock;
    RunRecord m_run;
};

} // namespace

HistoryCatalog::HistoryCatalog(RunHistory& history, const Settings& settings, Clock clock)
    : m_history(history)
    , m_settings(settings)
    , m_clock(std::move(clock)) {
}

std::vector<std::pair<RunRecord, KnownArchive>> HistoryCatalog::known() const {
    std::vector<RunRecord> runs;
    try {
        runs = m_history.withArchives();
    } catch (const VError& error) {
        writeToStandardError(QStringLiteral("vestrel: the history cannot be read: ") +
                             errorLineText(error.record()));
    }
    const QString serverPrefix = m_settings.text(Options::Ftp) + QLatin1Char(':');
    const QDir store(m_settings.storeFolder());
    std::vector<std::pair<RunRecord, KnownArchive>> found;
    for (RunRecord& run : runs) {
        // Retention took it; a file of that name there now is not this run's.
        if (run.archiveState == ArchiveState::Deleted)
            continue;
        KnownArchive archive;
        archive.name = run.archive;
        archive.written = asQDateTime(run.end.value_or(run.start));
        archive.size = run.bytes;
        const bool uploaded = !QDir::isAbsolutePath(run.destination);
        if (uploaded && run.destination.startsWith(serverPrefix))
            archive.remotePath = run.destination.mid(serverPrefix.size());
        // A sent archive is deleted from the store; one there of that name and size is a copy
        // the user kept.
        const QFileInfo local(uploaded ? store.filePath(run.archive) : run.destination);
        if (local.isFile() && (!uploaded || local.size() == run.bytes))
            archive.localPath = local.absoluteFilePath();
        if (!archive.localPath.isEmpty() || !archive.remotePath.isEmpty())
            found.emplace_back(std::move(run), std::move(archive));
    }
    return found;
}

std::vector<std::pair<int, QString>> HistoryCatalog::sessions() const {
    std::vector<std::pair<int, QString>> sessions;
    for (const auto& [run, archive] : known()) {
        // The newest run names the session as it is called now.
        if (std::none_of(sessions.begin(), sessions.end(),
                         [&](const auto& s) { return s.first == run.sessionId; }))
            sessions.emplace_back(run.sessionId, run.session);
    }
    return sessions;
}

std::vector<KnownArchive> HistoryCatalog::archives(int sessionId) const {
    std::vector<KnownArchive> archives;
    for (auto& [run, archive] : known()) {
        if (run.sessionId == sessionId)
            archives.push_back(std::move(archive));
    }
    return archives;
}

std::optional<KnownArchive> HistoryCatalog::find(const QString& name) const {
    // The server may hold it under a numbered name ("x (2).zip") when the minute's was taken.
    for (auto& [run, archive] : known()) {
        if (archive.name == name || archive.remotePath == name ||
            archive.remotePath.section(QLatin1Char('/'), -1) == name)
            return std::move(archive);
    }
    return std::nullopt;
}

std::unique_ptr<EventLog> HistoryCatalog::restoreLog(const QString& archive) {
    RunRecord run;
    run.kind = RunKind::Restore;
    run.start = m_clock();
    run.archive = QFileInfo(archive).fileName();
    for (const auto& [written, known] : this->known()) {
        if (known.name == run.archive || known.localPath == archive ||
            known.remotePath.section(QLatin1Char('/'), -1) == run.archive) {
            run.sessionId = written.sessionId;
            run.session = written.session;
            run.bytes = written.bytes;
            break;
        }
    }
    return std::make_unique<RestoreRun>(m_history, m_clock, std::move(run));
}
