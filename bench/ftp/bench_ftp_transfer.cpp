// One binary transfer through cFTP, as a caller makes it: log on, transfer, log off.
// Usage: bench_ftp_transfer put|get HOST PORT USER PASSWORD LOCAL REMOTE
// HOST may carry sftp://, ftpes:// or ftps://; BENCH_SSH_FOLDER names the folder with the key
// and known_hosts, BENCH_TLS_FINGERPRINT the certificate to trust.
#include "common/Error.h"
#include "ftp/cFTP.h"

#include <QString>
#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char** argv) {
    if (argc != 8 || (std::strcmp(argv[1], "put") != 0 && std::strcmp(argv[1], "get") != 0)) {
        std::fprintf(stderr, "usage: %s put|get HOST PORT USER PASSWORD LOCAL REMOTE\n", argv[0]);
        return 2;
    }
    const bool put = std::strcmp(argv[1], "put") == 0;
    const QString local = QString::fromLocal8Bit(argv[6]);
    const QString remote = QString::fromLocal8Bit(argv[7]);
    try {
        cFTP ftp;
        ftp.setPort(QString::fromLocal8Bit(argv[3]).toInt());
        if (const char* folder = std::getenv("BENCH_SSH_FOLDER"))
            ftp.setSshFolder(QString::fromLocal8Bit(folder));
        if (const char* fingerprint = std::getenv("BENCH_TLS_FINGERPRINT"))
            ftp.setTrustedCertificate(QString::fromLatin1(fingerprint));
        bool done = ftp.Connect(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[4]),
                                QString::fromLocal8Bit(argv[5]));
        if (done)
            done = put ? ftp.PutFile(local, remote, cFTP::Binary)
                       : ftp.GetFile(remote, local, cFTP::Binary);
        if (!done) {
            std::fprintf(stderr, "%s\n", qPrintable(errorLineText(CurrentError())));
            return 1;
        }
        ftp.Disconnect();
    } catch (const VError& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
    return 0;
}
