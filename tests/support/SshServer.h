#pragma once

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

// Debian's sshd on 127.0.0.1, SFTP only, with its own host key, serving a fresh home that holds
// "pub/" and "a.txt" to the user the tests run as, who logs on with the key in clientSshFolder().
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
    QString pathOf(const QString& relative) const;
    QString clientSshFolder() const;
    QString knownHostsLine() const;

private:
    QTemporaryDir m_dir;
    QProcess m_process;
    QString m_user;
    int m_port = 0;
    QString m_error;
};

bool runTool(const QString& program, const QStringList& arguments, QString* error = nullptr,
             QByteArray* output = nullptr);
