#pragma once

#include "EventLog.h"
#include "RunProgress.h"
#include "common/DateTime.h"
#include "ftp/cFTP.h"
#include "store/Settings.h"

#include <QString>
#include <QStringList>
#include <functional>

// One run of a backup session: names the archive after the current moment, packs the session's
// existing files and folders into it and, when upload is switched on, sends it to the FTP server
// and removes the local copy. Outcomes go to a log list; the run knows nothing of windows.
class SessionRun {
public:
    SessionRun(Settings settings, FtpFactory ftpFactory, Clock clock);

    // Runs the session whose paths are `entries`, in the session's order, writing into `log`.
    // Every failure, raised ones included, ends as a red-cross line and the run returns
    // normally. Returns true when the run logged a failure. `progress` hears how far packing
    // and sending have come.
    bool LPack(const QStringList& entries, EventLog& log,
               const RunProgressSink& progress = {}) const;

    // What reads a new archive back when the "Verify" option is on: empty text when whole.
    using ArchiveCheck = std::function<QString(const QString& archivePath)>;
    void setArchiveCheck(ArchiveCheck check) { m_check = std::move(check); }

private:
    void packAndUpload(const QStringList& entries, EventLog& log,
                       const RunProgressSink& progress) const;
    void upload(const QString& archivePath, const QString& archiveName, EventLog& log,
                const RunProgressSink& progress) const;

    Settings m_settings;
    FtpFactory m_ftpFactory;
    Clock m_clock;
    ArchiveCheck m_check;
};

// The store folder, "/", every "//" then made "/" in one pass, then the name.
QString archivePathIn(const QString& store, const QString& name);
