#pragma once

#include "FtpServer.h"

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
