#pragma once

#include "FtpServer.h"
#include "ftp/cFTP.h"

class Settings;

// Debian's sshd, SFTP only, with its own host key, serving its home to the user the tests run
// as, who logs on with the key in clientSshFolder().
class SshServer : public ServerProcess {
public:
    SshServer();

    bool start();
    QString address() const { return QStringLiteral("sftp://127.0.0.1"); }
    QString user() const { return m_user; }
    QString clientSshFolder() const;
    QString knownHostsLine() const;

private:
    QString m_user;
};

// Clients that log on over SFTP with the keys of `sshFolder` (when given).
inline FtpFactory sshClients(const QString& sshFolder) {
    return [sshFolder] {
        auto client = std::make_unique<cFTP>();
        if (!sshFolder.isEmpty())
            client->setSshFolder(sshFolder);
        return client;
    };
}

// Servers of the encrypted kinds "sftp" (sshd), "ftpes" (AUTH TLS) and "ftps" (implicit TLS).
class SecureServers {
public:
    struct Target {
        QString setting; // scheme://host
        int port;
        QString user;
        QString password; // empty over SFTP, where the key logs on
        QString pub;      // the same folder's local path
        FtpServer* ftp;   // null over SFTP
    };

    // Starts all three; the reason when one does not start.
    QString start();
    Target target(const QString& kind);
    const SshServer& ssh() const { return m_ssh; }
    // Makes a client's SSH folder holding the log-on key; trusted: known_hosts lists the server.
    bool makeSshFolder(const QString& path, bool trusted) const;
    // Upload on, to this server and into its folder pub; trusted: its certificate is kept.
    static void writeSettings(Settings& settings, const Target& target, bool trusted);

private:
    SshServer m_ssh;
    FtpServer m_explicit;
    FtpServer m_implicit;
};
