#pragma once

#include "FtpServer.h"
#include "common/Error.h"
#include "ftp/cFTP.h"

#include <QDir>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <optional>
#include <sys/socket.h>
#include <unistd.h>

// The error an action raised, if it raised one.
template <typename Action> std::optional<VError> raisedBy(Action&& action) {
    try {
        action();
    } catch (const VError& error) {
        return error;
    }
    return std::nullopt;
}

inline bool logOn(cFTP& ftp, const FtpServer& server) {
    ftp.setPort(server.port());
    return ftp.Connect(server.host(), server.user(), server.password());
}

inline QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline bool writeAll(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// Empties a folder, so that each test starts from the same server home.
inline void emptyFolder(const QString& path) {
    QDir(path).removeRecursively();
    QDir().mkpath(path);
}

inline QString hex(std::int32_t number) {
    return QString::number(static_cast<std::uint32_t>(number), 16);
}

// The recorded error as "number description", and a raised one as "number source: description",
// so that one comparison checks all of it.
inline QString recorded() {
    return hex(CurrentError().number) + QLatin1Char(' ') + CurrentError().description;
}
inline QString described(const std::optional<VError>& error) {
    return error ? hex(error->number()) + QLatin1Char(' ') + error->source() +
                       QStringLiteral(": ") + error->description()
                 : QStringLiteral("nothing raised");
}

// A socket listening on 127.0.0.1 that never accepts: connections complete in the kernel's
// backlog and then hear nothing, like a server that hangs before its greeting.
struct SilentListener {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    int port = 0;

    SilentListener() {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        auto* any = reinterpret_cast<sockaddr*>(&address);
        if (fd >= 0 && ::bind(fd, any, length) == 0 && ::listen(fd, 8) == 0 &&
            ::getsockname(fd, any, &length) == 0)
            port = ntohs(address.sin_port);
    }
    ~SilentListener() { close(); }
    void close() {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
};
