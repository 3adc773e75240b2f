#pragma once

#include "FtpServer.h"
#include "common/Error.h"
#include "ftp/cFTP.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
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

// Removes everything inside a folder, so that each test starts from the same server home.
inline void emptyFolder(const QString& path) {
    for (const QFileInfo& entry :
         QDir(path).entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden)) {
        if (entry.isDir() && !entry.isSymLink())
            QDir(entry.filePath()).removeRecursively();
        else
            QFile::remove(entry.filePath());
    }
}

inline QString hex(std::int32_t number) {
    return QString::number(static_cast<std::uint32_t>(number), 16);
}

// A socket listening on 127.0.0.1 that never accepts: connections complete in the kernel's
// backlog and then hear nothing, like a server that hangs before its greeting.
class SilentListener {
public:
    SilentListener()
        : m_fd(::socket(AF_INET, SOCK_STREAM, 0)) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (m_fd < 0 || ::bind(m_fd, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
            ::listen(m_fd, 8) != 0 ||
            ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&address), &length) != 0)
            return;
        m_port = ntohs(address.sin_port);
    }
    ~SilentListener() { close(); }
    SilentListener(const SilentListener&) = delete;
    SilentListener& operator=(const SilentListener&) = delete;

    int port() const { return m_port; }
    void close() {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
    }

private:
    int m_fd;
    int m_port = 0;
};
