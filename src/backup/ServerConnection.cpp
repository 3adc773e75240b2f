#include "ServerConnection.h"

#include "store/Settings.h"

void applyServerOptions(cFTP& ftp, const Settings& settings) {
    ftp.setPort(settings.port());
    ftp.setTrustedCertificate(settings.text(Options::TlsFingerprint));
    ftp.setRegion(settings.text(Options::S3Region));
}

bool connectToServer(cFTP& ftp, const Settings& settings) {
    applyServerOptions(ftp, settings);
    return ftp.Connect(settings.text(Options::Ftp), settings.text(Options::User),
                       settings.text(Options::Password));
}
