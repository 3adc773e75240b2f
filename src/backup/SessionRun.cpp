#include "SessionRun.h"

#include "ArchiveCheck.h"
#include "NumberedName.h"
#include "PackFiles.h"
#include "ServerConnection.h"
#include "common/DatePattern.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <optional>

namespace {

const QString Source = QStringLiteral("SessionRun");

// Counts the failure lines of a run on their way to the real log.
class FailureWatch : public EventLog {
public:
    FailureWatch(EventLog& log, QString password)
        : m_log(log)
        , m_password(std::move(password)) {}
    void appendLine(const QString& text, int icon) override {
        m_failed = m_failed || icon == IconFailure;
        m_log.appendLine(printableLine(text, m_password), icon);
    }
    void clear() override { m_log.clear(); }
    bool failed() const { return m_failed; }

private:
    EventLog& m_log;
    QString m_password;
    bool m_failed = false;
};

// An archive name that is empty or reaches into another folder would write outside the store.
void checkArchiveName(const QString& pattern, const QString& stem) {
    if (stem.isEmpty() || stem.contains(QLatin1Char('/')) || stem.contains(QChar())) {
        throw VError(UnspecifiedErrorNumber, Source,
                     QStringLiteral("The archive name pattern \"%1\" gives \"%2\", which is not a "
                                    "file name; nothing was packed")
                         .arg(pattern, stem));
    }
}

// Whether the file is gone from the server; a failure here is told in the caller's line.
bool removeFromServer(cFTP& ftp, const QString& name) {
    try {
        return ftp.Connected() && ftp.DeleteFile(name);
    } catch (const VError&) {
        return false;
    }
}

// The default store is made on first use; a folder the user chose and that is gone is an error
// the packer tells, not something to make up again elsewhere.
void makeDefaultStore(const Settings& settings, const QString& store) {
    if (settings.text(Options::Store).trimmed().isEmpty() && !QDir().mkpath(store)) {
        throw VError(UnspecifiedErrorNumber, Source,
                     QStringLiteral("Cannot create the archive folder %1").arg(store));
    }
}

} // namespace

QString archivePathIn(const QString& store, const QString& name) {
    QString folder = store + QLatin1Char('/');
    folder.replace(QStringLiteral("//"), QStringLiteral("/"));
    return folder + name;
}

SessionRun::SessionRun(Settings settings, FtpFactory ftpFactory, Clock clock)
    : m_settings(std::move(settings))
    , m_ftpFactory(std::move(ftpFactory))
    , m_clock(std::move(clock))
    , m_check([](const QString& path, const QString& password) {
        return checkArchive(path, {}, password);
    }) {
}

RunResult SessionRun::LPack(const QStringList& entries, EventLog& log,
                            const RunProgressSink& progress, const RunSession& session) const {
    // Server replies may echo the password; it is masked in every line of the run.
    FailureWatch watch(log, m_settings.text(Options::Password));
    RunResult result;
    try {
        packAndUpload(entries, watch, progress, session, result);
    } catch (const VError& error) {
        LogLine(watch, errorLogText(error.record()), IconFailure);
    } catch (const std::exception& error) {
        LogLine(
            watch,
            errorLogText({UnspecifiedErrorNumber, Source, QString::fromLocal8Bit(error.what())}),
            IconFailure);
    }
    if (result.outcome != RunOutcome::Nothing && watch.failed()) {
        result.outcome = RunOutcome::Failed;
    }
    // A delete the server or the store refuses is told, but leaves the backup just made good.
    if (result.outcome == RunOutcome::Ok && session.keep > 0 && !result.archive.isEmpty()) {
        try {
            keepLast(session, watch, result);
        } catch (const VError& error) {
            LogLine(watch, errorLogText(error.record()), IconFailure);
        }
    }
    return result;
}

void SessionRun::packAndUpload(const QStringList& entries, EventLog& log,
                               const RunProgressSink& progress, const RunSession& session,
                               RunResult& result) const {
    const QString pattern = m_settings.text(Options::ArchivePattern);
    const QString stem = formatDate(m_clock(), pattern);
    const QString store = m_settings.storeFolder();
    // One archive per run: a second run in the same minute never adds into the first's.
    const std::string base = (stem + QStringLiteral(".zip")).toStdString();
    QString archiveName = QString::fromStdString(base);
    for (int n = 2; QFileInfo::exists(archivePathIn(store, archiveName)); ++n) {
        archiveName = QString::fromStdString(numberedName(base, n, false));
    }
    const QString archivePath = archivePathIn(store, archiveName);

    // Slot k holds entry k when it still exists; the first entry is then moved behind the
    // others, so entries A, B, C are packed B, C, A.
    const int n = static_cast<int>(entries.size());
    FileSlots fileSlots(std::max(n + 1, 100));
    std::vector<int> missing;
    for (int k = 0; k < n; ++k) {
        const QFileInfo info(entries[k]);
        if (info.isFile() || info.isDir()) {
            fileSlots.set(k, entries[k]);
            ++result.entries;
        } else {
            missing.push_back(k);
        }
    }
    if (n > 0) {
        fileSlots.set(n, fileSlots[0]);
        log.clear();
    }
    // A folder that is gone would otherwise leave a backup without it, and nobody told.
    for (const int k : missing) {
        LogLine(log, QStringLiteral("Not found: ") + entries[k], IconFailure);
    }
    if (result.entries == 0) {
        result.outcome = RunOutcome::Nothing;
        LogLine(log,
                n == 0 ? QStringLiteral("The session names no files or folders: no archive was "
                                        "made")
                       : QStringLiteral("None of the session's files and folders exists: no "
                                        "archive was made"),
                IconFailure);
        return;
    }
    // A local backup with the defaults beats none, but the user believes the saved options
    // hold: upload, store folder. The line shows the window even for hidden sessions.
    const QString problem = m_settings.readProblem();
    if (!problem.isEmpty()) {
        LogLine(log,
                QStringLiteral("Settings file %1 could not be read (%2); the defaults are used")
                    .arg(m_settings.filePath(), problem),
                IconFailure);
    }

    checkArchiveName(pattern, stem);
    makeDefaultStore(m_settings, store);
    PackProgress packing;
    if (progress) {
        packing = [&progress](const QString& path, qint64 done, qint64 total) {
            progress({RunProgress::Stage::Packing, path, done, total});
        };
    }
    PackOptions options;
    options.skipped = [&log](const QString& line) {
        LogLine(log, line, IconFailure);
    };
    options.password = m_settings.text(Options::ArchivePassword);
    options.skip = SkipPatterns(session.skip);
    const bool skipping = !options.skip.isEmpty();
    const int skipped = PackFiles(n, archivePath, fileSlots, packing, options);
    if (skipping) {
        LogLine(log,
                QStringLiteral("Skipped %1 files and folders that match the Skip patterns")
                    .arg(skipped),
                IconSuccess);
    }
    result.archive = archiveName;
    result.bytes = QFileInfo(archivePath).size();
    result.destination = archivePath;
    if (m_settings.isOn(Options::Verify) && QFileInfo(archivePath).isFile()) {
        // A bad archive stays for the user to look at, but is not sent as if it were good.
        if (const QString problem = m_check(archivePath, options.password); !problem.isEmpty()) {
            LogLine(log,
                    QStringLiteral("The archive %1 does not read back whole (%2); it is kept%3")
                        .arg(archivePath, problem,
                             m_settings.isOn(Options::Upload) ? QStringLiteral(" and not sent")
                                                              : QString()),
                    IconFailure);
            return;
        }
    }

    if (!m_settings.isOn(Options::Upload)) {
        return;
    }
    if (!QFileInfo(archivePath).isFile()) {
        LogLine(log, QStringLiteral("Zip file ") + archivePath + QStringLiteral(" not found"),
                IconFailure);
        return;
    }
    upload(archivePath, archiveName, stem + QStringLiteral(".zip"), log, progress, session, result);
    if (result.destination == archivePath) {
        LogLine(log, QStringLiteral("The archive was kept at ") + archivePath, IconFailure);
    }
}

void SessionRun::upload(const QString& archivePath, const QString& archiveName,
                        const QString& baseName, EventLog& log, const RunProgressSink& progress,
                        const RunSession& session, RunResult& result) const {
    const QString host = m_settings.text(Options::Ftp);
    std::unique_ptr<cFTP> ftp = m_ftpFactory();
    if (!connectToServer(*ftp, m_settings)) {
        // The archive stays: it is then the only copy of this backup.
        LogError(log, IconFailure);
        result.waiting = true;
        return;
    }
    LogLine(log, QStringLiteral("Connection succesful"), IconSuccess);

    // What an earlier upload left in the store goes first, oldest first, so that one bad night
    // does not lose the off-site copy. One that fails again stays for the next run.
    for (const RunRecord& earlier : session.archives) {
        // A waiting archive whose file is gone left its name free for this run's own.
        if (earlier.archiveState != ArchiveState::Waiting || earlier.destination == archivePath ||
            !QFileInfo(earlier.destination).isFile()) {
            continue;
        }
        QString remoteName;
        if (!send(*ftp, earlier.destination, earlier.archive, earlier.archive, log, progress,
                  remoteName)) {
            continue;
        }
        result.changes.push_back(
            {earlier.id, ArchiveState::SentLater, QStringLiteral("%1:%2").arg(host, remoteName)});
        LogLine(log,
                QStringLiteral("Sent %1, which an earlier run could not send, as %2")
                    .arg(earlier.destination, remoteName),
                IconSuccess);
        if (QFile::remove(earlier.destination)) {
            LogLine(log, QStringLiteral("File ") + earlier.destination + QStringLiteral(" deleted"),
                    IconSuccess);
        } else {
            LogLine(log, QStringLiteral("Cannot delete file %1").arg(earlier.destination),
                    IconFailure);
        }
    }

    QString remoteName;
    const bool sent = send(*ftp, archivePath, archiveName, baseName, log, progress, remoteName);
    if (ftp->Connected()) {
        ftp->Disconnect();
    }

    if (!sent) {
        result.waiting = true;
        return;
    }
    result.destination = QStringLiteral("%1:%2").arg(host, remoteName);
    if (!QFile::remove(archivePath)) {
        throw VError(UnspecifiedErrorNumber, Source,
                     QStringLiteral("Cannot delete file %1").arg(archivePath));
    }
    LogLine(log, QStringLiteral("File ") + archivePath + QStringLiteral(" deleted"), IconSuccess);
}

bool SessionRun::send(cFTP& ftp, const QString& archivePath, const QString& archiveName,
                      const QString& baseName, EventLog& log, const RunProgressSink& progress,
                      QString& remoteName) const {
    ftp.setTransferProgress([&progress, &archivePath](qint64 done, qint64 total) {
        if (progress) {
            progress({RunProgress::Stage::Sending, archivePath, done, total});
        }
        return true;
    });
    // Two sessions run in the same minute name the same archive: the later one must not
    // overwrite the earlier one's upload, which is then the only copy of that backup.
    const QString folder = m_settings.remoteFolder();
    remoteName = folder + archiveName;
    // Numbered from the minute's own name, so that "x (2).zip" taken gives "x (3).zip". Bounded,
    // for a server that would claim every name exists.
    const std::string base = (folder + baseName).toStdString();
    for (int n = 2; n <= 100 && ftp.FileExists(remoteName); ++n) {
        remoteName = QString::fromStdString(numberedName(base, n, false));
    }
    // The archive travels under a name of its own and takes its final name only once it has
    // arrived whole: a broken transfer must not leave what looks like a good backup. An
    // object store's multipart upload is published only when complete, and aborted otherwise,
    // so it goes straight to its name (a copy of it to another key would cost a second upload's
    // time on the server). One-request uploads do take the detour: some servers show a request
    // cut short as an object.
    const bool direct = ftp.UploadAppearsWhole(QFileInfo(archivePath).size());
    const QString unfinished = direct ? remoteName : remoteName + QStringLiteral(".part");
    std::optional<ErrorRecord> failure;
    if (!ftp.PutFile(archivePath, unfinished, cFTP::Binary)) {
        failure = CurrentError();
    } else if (!direct) {
        try {
            ftp.RenameFile(unfinished, remoteName);
        } catch (const VError& error) {
            failure = error.record();
        }
    }
    if (!failure) {
        LogLine(log, QStringLiteral("File transfer succesfully"), IconSuccess);
        return true;
    }
    QString& text = failure->description;
    text += text.endsWith(QLatin1Char('\n')) ? QString() : QStringLiteral(" ");
    // A failed direct upload has already said what it left on the server.
    if (!direct) {
        text += (removeFromServer(ftp, unfinished)
                     ? QStringLiteral("The unfinished upload %1 was removed from the server")
                     : QStringLiteral("The unfinished upload %1 may be left on the server"))
                    .arg(unfinished);
    }
    clearCurrentError();
    LogLine(log, errorLogText(*failure), IconFailure);
    return false;
}

// Only archives the history records as this session's are candidates, never the run's own; each
// place (the store, the server) keeps the newest `keep`. Archives still waiting to be sent are
// the only copy of their backup and are never deleted.
void SessionRun::keepLast(const RunSession& session, EventLog& log, RunResult& result) const {
    const QString host = m_settings.text(Options::Ftp);
    const QString onServer = host + QLatin1Char(':');
    const bool upload = m_settings.isOn(Options::Upload);
    std::vector<RunRecord> local;
    std::vector<RunRecord> remote;
    for (RunRecord earlier : session.archives) {
        for (const RunResult::Change& change : result.changes) {
            if (change.runId == earlier.id) {
                earlier.archiveState = change.state;
                earlier.destination = change.destination;
            }
        }
        if (earlier.destination == result.destination ||
            earlier.archiveState == ArchiveState::Waiting ||
            earlier.archiveState == ArchiveState::Deleted) {
            continue;
        }
        if (earlier.destination.startsWith(QLatin1Char('/'))) {
            if (QFileInfo(earlier.destination).isFile()) {
                local.push_back(earlier);
            }
        } else if (upload && earlier.destination.startsWith(onServer)) {
            remote.push_back(earlier);
        }
    }
    const bool ownLocal = result.destination.startsWith(QLatin1Char('/'));
    // The run's own archive is the newest of its place and one of those kept there.
    const auto beyond = [&session](const std::vector<RunRecord>& kept, bool withOwn) {
        return std::max<qsizetype>(0, qsizetype(kept.size()) + (withOwn ? 1 : 0) - session.keep);
    };
    const auto deleted = [&result](const RunRecord& run) {
        result.changes.push_back({run.id, ArchiveState::Deleted, run.destination});
    };
    for (qsizetype i = 0, n = beyond(local, ownLocal); i < n; ++i) {
        const QString& path = local[size_t(i)].destination;
        if (QFile::remove(path)) {
            LogLine(log, QStringLiteral("Deleted the old archive %1").arg(path), IconSuccess);
            deleted(local[size_t(i)]);
        } else {
            LogLine(log, QStringLiteral("Could not delete the old archive %1").arg(path),
                    IconFailure);
        }
    }
    const qsizetype n = beyond(remote, !ownLocal);
    if (n == 0) {
        return;
    }
    std::unique_ptr<cFTP> ftp = m_ftpFactory();
    if (!connectToServer(*ftp, m_settings)) {
        LogError(log, IconFailure);
        return;
    }
    for (qsizetype i = 0; i < n; ++i) {
        const QString name = remote[size_t(i)].destination.mid(onServer.size());
        QString why;
        try {
            if (ftp->DeleteFile(name)) {
                LogLine(log, QStringLiteral("Deleted the old archive %1 from the server").arg(name),
                        IconSuccess);
                deleted(remote[size_t(i)]);
                continue;
            }
            why = CurrentError().description;
        } catch (const VError& error) {
            why = error.description();
        }
        clearCurrentError();
        LogLine(log,
                QStringLiteral("Could not delete the old archive %1 from the server: %2")
                    .arg(name, why.trimmed()),
                IconFailure);
    }
    ftp->Disconnect();
}
