#pragma once

#include "EventLog.h"
#include "RunProgress.h"
#include "common/DateTime.h"
#include "ftp/cFTP.h"
#include "store/RunRecord.h"
#include "store/Settings.h"

#include <QString>
#include <QStringList>
#include <functional>

// One run of a backup session: names the archive after the current moment, packs the session's
// existing files and folders into it and, when upload is switched on, sends it to the FTP server
// and removes the local copy. Outcomes go to a log list; the run knows nothing of windows.
// What a run made: its outcome, the archive and where it ended.
struct RunResult {
    RunOutcome outcome = RunOutcome::Ok;
    QString archive; // the archive's file name
    qint64 bytes = 0;
    int entries = 0;     // the entries that existed and were packed
    QString destination; // the local path, or the server and the remote name
    // The upload failed: the archive waits in the store for the session's next run to send it.
    bool waiting = false;
    // Earlier runs' archives this run sent or deleted, for the history.
    using Change = ArchiveChange;
    std::vector<Change> changes;

    bool failed() const { return outcome != RunOutcome::Ok; }
};

// What a run needs of its session besides its paths.
struct RunSession {
    int keep = 0; // the session's archives to keep; 0 keeps all
    QString skip; // patterns left out of its folders, one a line
    // The session's archives the history records (RunHistory::archivesOf), oldest first.
    std::vector<RunRecord> archives;
};

class SessionRun {
public:
    SessionRun(Settings settings, FtpFactory ftpFactory, Clock clock);

    // Runs the session whose paths are `entries`, in the session's order, writing into `log`.
    // Every failure, raised ones included, ends as a red-cross line and the run returns
    // normally: failed when it logged one, nothing when no entry existed. `progress` hears how
    // far packing and sending have come.
    // After a good run, the session's oldest archives beyond `session.keep` are deleted; with
    // upload on, archives earlier uploads left in the store are sent first.
    RunResult LPack(const QStringList& entries, EventLog& log, const RunProgressSink& progress = {},
                    const RunSession& session = {}) const;
    const Clock& clock() const { return m_clock; }
    bool uploads() const { return m_settings.isOn(Options::Upload); }

    // What reads a new archive back when the "Verify" option is on: empty text when whole.
    using ArchiveCheck =
        std::function<QString(const QString& archivePath, const QString& password)>;
    void setArchiveCheck(ArchiveCheck check) { m_check = std::move(check); }

private:
    void packAndUpload(const QStringList& entries, EventLog& log, const RunProgressSink& progress,
                       const RunSession& session, RunResult& result) const;
    // `baseName` is the minute's own name, before any number a taken name gave it.
    void upload(const QString& archivePath, const QString& archiveName, const QString& baseName,
                EventLog& log, const RunProgressSink& progress, const RunSession& session,
                RunResult& result) const;
    // Sends one archive under a free remote name; false, with a red-cross line, when it failed.
    bool send(cFTP& ftp, const QString& archivePath, const QString& archiveName,
              const QString& baseName, EventLog& log, const RunProgressSink& progress,
              QString& remoteName) const;
    void keepLast(const RunSession& session, EventLog& log, RunResult& result) const;

    Settings m_settings;
    FtpFactory m_ftpFactory;
    Clock m_clock;
    ArchiveCheck m_check;
};

// The store folder, "/", every "//" then made "/" in one pass, then the name.
QString archivePathIn(const QString& store, const QString& name);
