#include "ftp/ServerAddress.h"

#include <array>

namespace {

struct Prefix {
    const char* text;
    ServerAddress::Kind kind;
    int defaultPort;
};

constexpr std::array Prefixes{
    Prefix{"s3+http://", ServerAddress::Kind::S3Http, 80},
    Prefix{"s3://", ServerAddress::Kind::S3, 443},
    Prefix{"sftp://", ServerAddress::Kind::Sftp, 22},
    Prefix{"ftpes://", ServerAddress::Kind::FtpExplicitTls, 21},
    Prefix{"ftps://", ServerAddress::Kind::FtpImplicitTls, 990},
    Prefix{"ftp://", ServerAddress::Kind::Ftp, 21},
};

// "host[:port]/bucket[/]": a port written here is the user's intent for this address alone.
void splitBucketAddress(ServerAddress& address, int defaultPort) {
    const qsizetype slash = address.host.indexOf(QLatin1Char('/'));
    if (slash >= 0) {
        address.bucket = address.host.mid(slash + 1);
        address.host.truncate(slash);
    }
    const qsizetype colon = address.host.lastIndexOf(QLatin1Char(':'));
    if (colon > 0 && !address.host.endsWith(QLatin1Char(']'))) {
        bool ok = false;
        const int written = address.host.mid(colon + 1).toInt(&ok);
        if (ok && written >= 1 && written <= 65535) {
            address.port = written;
            address.host.truncate(colon);
            return;
        }
    }
    if (address.port == 21)
        address.port = defaultPort;
}

} // namespace

const char* ServerAddress::scheme() const {
    switch (kind) {
    case Kind::Sftp:
        return "sftp";
    case Kind::FtpImplicitTls:
        return "ftps";
    case Kind::S3:
        return "https";
    case Kind::S3Http:
        return "http";
    case Kind::Ftp:
    case Kind::FtpExplicitTls:
        break;
    }
    return "ftp";
}

ServerAddress parseServerAddress(const QString& setting, int port) {
    ServerAddress address;
    address.host = setting;
    int defaultPort = 21;
    for (const Prefix& prefix : Prefixes) {
        const QString text = QString::fromLatin1(prefix.text);
        if (setting.startsWith(text, Qt::CaseInsensitive)) {
            address.kind = prefix.kind;
            address.host = setting.mid(text.size());
            defaultPort = prefix.defaultPort;
            break;
        }
    }
    if (address.host.endsWith(QLatin1Char('/')))
        address.host.chop(1);
    address.port = port >= 1 && port <= 65535 && port != 21 ? port : defaultPort;
    if (address.isS3()) {
        address.port = port >= 1 && port <= 65535 ? port : 21;
        splitBucketAddress(address, defaultPort);
    }
    return address;
}
