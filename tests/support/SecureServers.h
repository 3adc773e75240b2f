#pragma once

#include "SshServer.h"

class Settings;

// Servers of the encrypted kinds "sftp" (sshd), "ftpes" (AUTH TLS) and "ftps" (implicit TLS).
class SecureServers {
public:
    struct Target {
        QString setting; // scheme://host
        int port;
        QString user;
        QString password; // empty over SFTP, where the key logs on
        QString folder;   // the folder "pub" as the client names it, with a slash at the end
        QString pub;      // the same folder's local path
        FtpServer* ftp;   // null over SFTP
    };

    // Starts all three; the reason when one does not start.
    QString start();
    Target target(const QString& kind);
    const SshServer& ssh() const { return m_ssh; }
    // Makes a client's SSH folder holding the log-on key; trusted: known_hosts lists the server.
    bool makeSshFolder(const QString& path, bool trusted) const;
    // Upload on, to this server and into pub; trusted: its certificate is kept.
    static void writeSettings(Settings& settings, const Target& target, bool trusted);

private:
    SshServer m_ssh;
    FtpServer m_explicit;
    FtpServer m_implicit;
};
