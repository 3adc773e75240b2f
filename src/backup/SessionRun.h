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

    bool failed() const { return outcome != RunOutcome::Ok; }
};

class SessionRun {
public:
    SessionRun(Settings settings, FtpFactory ftpFactory, Clock clock);

    // Runs the session whose paths are `entries`, in the session's order, writing into `log`.
    // Every failure, raised ones included, ends as a red-cross line and the run returns
    // normally: failed when it logged one, nothing when no entry existed. `progress` hears how
    // far packing and sending have come.
    RunResult LPack(const QStringList& entries, EventLog& log,
                    const RunProgressSink& progress = {}) const;
    const Clock& clock() const { return m_clock; }

    // What reads a new archive back when the "Verify" option is on: empty text when whole.
    using ArchiveCheck =
        std::function<QString(const QString& archivePath, const QString& password)>;
    void setArchiveCheck(ArchiveCheck check) { m_check = std::move(check); }

private:
    void packAndUpload(const QStringList& entries, EventLog& log, const RunProgressSink& progress,
                       RunResult& result) const;
    // `baseName` is the minute's own name, before any number a taken name gave it.
    void upload(const QString& archivePath, const QString& archiveName, const QString& baseName,
                EventLog& log, const RunProgressSink& progress, RunResult& result) const;

    Settings m_settings;
    FtpFactory m_ftpFactory;
    Clock m_clock;
    ArchiveCheck m_check;
};

// The store folder, "/", every "//" then made "/" in one pass, then the name.
QString archivePathIn(const QString& store, const QString& name);
