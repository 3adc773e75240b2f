#include "ArchiveFetch.h"

#include "EventLog.h"
#include "common/Error.h"
#include "store/Settings.h"

QString fetchArchive(const Settings& settings, const FtpFactory& ftpFactory,
                     const QString& remotePath, const QString& localFile,
                     const TransferProgress& progress) {
    try {
        std::unique_ptr<cFTP> ftp = ftpFactory();
        ftp->setPort(settings.port());
        ftp->setTrustedCertificate(settings.text(Options::TlsFingerprint));
        ftp->setRegion(settings.text(Options::S3Region));
        ftp->setTransferProgress(progress);
        if (!ftp->Connect(settings.text(Options::Ftp), settings.text(Options::User),
                          settings.text(Options::Password)))
            return errorLogText(CurrentError());
        const bool fetched = ftp->GetFile(remotePath, localFile, cFTP::Binary);
        const QString failure = fetched ? QString() : errorLogText(CurrentError());
        ftp->Disconnect();
        return failure;
    } catch (const VError& error) {
        return errorLogText(error.record());
    }
}
