#include "ftp/ServerAddress.h"

#include <array>

namespace {

struct Prefix {
    const char* text;
    ServerAddress::Kind kind;
    int defaultPort;
};

constexpr std::array Prefixes{
    Prefix{"sftp://", ServerAddress::Kind::Sftp, 22},
    Prefix{"ftpes://", ServerAddress::Kind::FtpExplicitTls, 21},
    Prefix{"ftps://", ServerAddress::Kind::FtpImplicitTls, 990},
    Prefix{"ftp://", ServerAddress::Kind::Ftp, 21},
};

} // namespace

const char* ServerAddress::scheme() const {
    switch (kind) {
    case Kind::Sftp:
        return "sftp";
    case Kind::FtpImplicitTls:
        return "ftps";
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
    return address;
}
