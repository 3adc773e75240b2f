#include "RestoreCommand.h"

#include "backup/ArchiveCatalog.h"
#include "backup/ArchiveFetch.h"
#include "backup/HistoryCatalog.h"
#include "backup/Restore.h"
#include "backup/StderrRunLog.h"
#include "common/Error.h"
#include "common/UserFolders.h"
#include "store/DbConnection.h"
#include "store/RunHistory.h"
#include "store/Settings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

namespace {

// The first line of the file, without its line end; empty with `why` set when it cannot be read.
QString readPasswordFile(const QString& path, QString* why) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *why = QStringLiteral("Cannot read the password file %1: %2").arg(path, file.errorString());
        return QString();
    }
    QByteArray line = file.readLine();
    while (line.endsWith('\n') || line.endsWith('\r'))
        line.chop(1);
    if (line.isEmpty())
        *why = QStringLiteral("The password file %1 holds no password").arg(path);
    return QString::fromUtf8(line);
}

} // namespace

int restoreFromCommandLine(const RestoreCommand& command, ArchiveCatalog& catalog) {
    RestoreRequest request;
    request.archive = QString::fromStdString(command.archive);
    request.target = QString::fromStdString(command.target);
    for (const std::string& path : command.paths)
        request.chosen << QString::fromStdString(path);
    StderrRunLog console(QStringLiteral("restore"), localNow);
    const std::unique_ptr<EventLog> kept = catalog.restoreLog(request.archive);
    TeeLog log(console, kept.get());
    if (!command.passwordFile.empty()) {
        QString why;
        request.password = readPasswordFile(QString::fromStdString(command.passwordFile), &why);
        if (!why.isEmpty()) {
            LogLine(log, why, IconFailure);
            return 1;
        }
    }

    QTemporaryDir fetched;
    if (!QFileInfo(request.archive).isFile()) {
        const std::optional<KnownArchive> known = catalog.find(request.archive);
        if (!known || (known->localPath.isEmpty() && known->remotePath.isEmpty())) {
            LogLine(log,
                    QStringLiteral("%1 is no file, and no archive of that name is known")
                        .arg(request.archive),
                    IconFailure);
            return 1;
        }
        if (QFileInfo(known->localPath).isFile()) {
            request.archive = known->localPath;
        } else {
            request.archive = fetched.filePath(known->name);
            const Settings settings;
            const QString failure = fetchArchive(
                settings, [] { return std::make_unique<cFTP>(); }, known->remotePath,
                request.archive);
            if (!failure.isEmpty()) {
                LogLine(log, failure, IconFailure);
                return 1;
            }
        }
    }
    const bool overwrite = command.overwrite;
    const ExistingQuestion ask = [&log, overwrite](const QString& path) {
        if (!overwrite)
            LogLine(log,
                    QStringLiteral("%1 is already there and was kept (--overwrite replaces it)")
                        .arg(path),
                    IconFailure);
        return ExistingChoice{overwrite ? ExistingAnswer::Overwrite : ExistingAnswer::Skip, false};
    };
    try {
        return restoreArchive(request, log, ask).complete() ? 0 : 1;
    } catch (const VError& error) {
        LogLine(log, errorLogText(error.record()), IconFailure);
        return 1;
    }
}

int restoreFromCommandLine(const RestoreCommand& command) {
    const QString path = QDir(QString::fromStdString(UserFolders::dataFolder()))
                             .filePath(QLatin1String(DbConnection::FileName));
    if (QFileInfo::exists(path)) {
        try {
            DbConnection::open(path);
            RunHistory history(DbConnection::database());
            const Settings settings;
            HistoryCatalog catalog(history, settings, localNow);
            return restoreFromCommandLine(command, catalog);
        } catch (const VError& error) {
            writeToStandardError(QStringLiteral("vestrel: the history cannot be read: ") +
                                 errorLineText(error.record()));
        }
    }
    NoArchiveCatalog none;
    return restoreFromCommandLine(command, none);
}
