#pragma once

#include <QString>

// What the "Ftp" setting names: a bare host for plain FTP, a host behind one of the prefixes
// users know from other FTP clients, or a bucket of an object store.
struct ServerAddress {
    enum class Kind { Ftp, Sftp, FtpExplicitTls, FtpImplicitTls, S3, S3Http };

    Kind kind = Kind::Ftp;
    QString host;
    int port = 21;
    // The bucket of an object store; empty for the FTP kinds.
    QString bucket;

    bool isSftp() const { return kind == Kind::Sftp; }
    bool isS3() const { return kind == Kind::S3 || kind == Kind::S3Http; }
    bool usesTls() const { return kind == Kind::FtpExplicitTls || kind == Kind::FtpImplicitTls; }
    // The URL scheme libcurl speaks for this kind ("ftp", "ftps", "sftp", "https" or "http").
    const char* scheme() const;
};

// "sftp://host", "ftpes://host", "ftps://host" or a bare host; prefixes match without regard to
// case and a trailing "/" is dropped. The port is the given one, except that 21 (the setting's
// default) or anything outside 1 … 65535 means the kind's own default: 21, 22 or 990.
// "s3://host[:port]/bucket" (HTTPS) and "s3+http://host[:port]/bucket" name a bucket; a port in
// the text wins over the given one, and the defaults are 443 and 80.
ServerAddress parseServerAddress(const QString& setting, int port);
