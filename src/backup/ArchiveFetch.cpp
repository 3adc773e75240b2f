#include "ArchiveFetch.h"

#include "EventLog.h"
#include "ServerConnection.h"
#include "common/Error.h"
#include "store/Settings.h"

QString fetchArchive(const Settings& settings, const FtpFactory& ftpFactory,
                     const QString& remotePath, const QString& localFile,
                     const TransferProgress& progress) {
    try {
        std::unique_ptr<cFTP> ftp = ftpFactory();
        ftp->setTransferProgress(progress);
        if (!connectToServer(*ftp, settings))
            return errorLogText(CurrentError());
        const bool fetched = ftp->GetFile(remotePath, localFile, cFTP::Binary);
        const QString failure = fetched ? QString() : errorLogText(CurrentError());
        ftp->Disconnect();
        return failure;
    } catch (const VError& error) {
        return errorLogText(error.record());
    }
}
