#pragma once

#include <QString>

// What the "Ftp" setting names: a bare host for plain FTP, or a host behind one of the prefixes
// users know from other FTP clients.
struct ServerAddress {
    enum class Kind { Ftp, Sftp, FtpExplicitTls, FtpImplicitTls };

    Kind kind = Kind::Ftp;
    QString host;
    int port = 21;

    bool isSftp() const { return kind == Kind::Sftp; }
    bool usesTls() const { return kind == Kind::FtpExplicitTls || kind == Kind::FtpImplicitTls; }
    // The URL scheme libcurl speaks for this kind ("ftp", "ftps" or "sftp").
    const char* scheme() const;
};

// "sftp://host", "ftpes://host", "ftps://host" or a bare host; prefixes match without regard to
// case and a trailing "/" is dropped. The port is the given one, except that 21 (the setting's
// default) or anything outside 1 … 65535 means the kind's own default: 21, 22 or 990.
ServerAddress parseServerAddress(const QString& setting, int port);
