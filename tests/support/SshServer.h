#pragma once

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

// A real OpenSSH server (Debian's /usr/sbin/sshd) on 127.0.0.1 for tests, with its own host key
// and configuration; it serves SFTP only, starting in a fresh home folder that holds a folder
// "pub" and a file "a.txt". The user is the one the tests run as; it logs on with the key in
// clientSshFolder(), which has no known_hosts yet. The machine's own sshd and ~/.ssh are never
// touched. The destructor stops it.
class SshServer {
public:
    SshServer();
    ~SshServer();
    SshServer(const SshServer&) = delete;
    SshServer& operator=(const SshServer&) = delete;

    bool start();
    void stop();
    QString errorString() const { return m_error; }

    QString address() const { return QStringLiteral("sftp://127.0.0.1"); }
    int port() const { return m_port; }
    QString user() const { return m_user; }
    QString homePath() const;
    QString pathOf(const QString& relative) const;
    // Holds id_ed25519 (authorised on the server) and, once trusted, known_hosts.
    QString clientSshFolder() const;
    // The known_hosts line that trusts this server's host key.
    QString knownHostsLine() const;
    // Replaces the host key, as a reinstalled server would; takes effect at the next start.
    bool changeHostKey();

private:
    QTemporaryDir m_dir;
    QProcess m_process;
    QString m_user;
    int m_port = 0;
    QString m_error;
};

// Runs a program to its end; false with the reason in error when it fails.
bool runTool(const QString& program, const QStringList& arguments, QString* error = nullptr,
             QByteArray* output = nullptr);
