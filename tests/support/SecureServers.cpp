#include "SecureServers.h"

#include "TestFiles.h"
#include "store/Settings.h"

#include <QDir>
#include <QFile>
#include <pwd.h>
#include <unistd.h>

SshServer::SshServer() {
    const passwd* entry = ::getpwuid(::getuid());
    m_user = entry ? QString::fromLocal8Bit(entry->pw_name) : QString();
    QDir().mkpath(clientSshFolder());
    for (const QString& key : {m_dir.filePath("host_key"), clientSshFolder() + "/id_ed25519"})
        runTool(QStringLiteral("ssh-keygen"), {"-q", "-t", "ed25519", "-N", "", "-f", key},
                &m_error);
}

QString SshServer::clientSshFolder() const {
    return m_dir.filePath(QStringLiteral("client"));
}

QString SshServer::knownHostsLine() const {
    const QString key = QString::fromUtf8(readFile(m_dir.filePath("host_key.pub")));
    const QStringList parts = key.split(QLatin1Char(' '));
    return QStringLiteral("[127.0.0.1]:%1 %2 %3").arg(m_port).arg(parts.value(0), parts.value(1));
}

bool SshServer::start() {
    // sshd's privilege-separation folder, made only when its service first starts.
    QDir().mkpath(QStringLiteral("/run/sshd"));
    const QString config = m_dir.filePath(QStringLiteral("sshd_config"));
    const bool written = writeFile(
        config,
        QStringLiteral("Port %1\nListenAddress 127.0.0.1\nHostKey %2\nPidFile none\n"
                       "AuthorizedKeysFile %3.pub\nStrictModes no\nPermitRootLogin yes\n"
                       "UsePAM no\nSubsystem sftp internal-sftp\n"
                       "ForceCommand internal-sftp -d %4\n")
            .arg(m_port)
            .arg(m_dir.filePath("host_key"), clientSshFolder() + "/id_ed25519", pathOf(QString()))
            .toUtf8());
    return written &&
           launch(QStringLiteral("/usr/sbin/sshd"), {"-D", "-e", "-f", config}, "Server listening");
}

QString SecureServers::start() {
    const bool started = m_ssh.start() &&
                         m_explicit.start({.tls = FtpServer::Options::Tls::Explicit}) &&
                         m_implicit.start({.tls = FtpServer::Options::Tls::Implicit});
    return started ? QString()
                   : m_ssh.errorString() + m_explicit.errorString() + m_implicit.errorString();
}

SecureServers::Target SecureServers::target(const QString& kind) {
    if (kind == "sftp")
        return {m_ssh.address(), m_ssh.port(), m_ssh.user(), "", m_ssh.pathOf("pub"), nullptr};
    FtpServer& s = kind == "ftpes" ? m_explicit : m_implicit;
    return {kind + "://" + s.host(), s.port(), s.user(), s.password(), s.pathOf("pub"), &s};
}

bool SecureServers::makeSshFolder(const QString& path, bool trusted) const {
    return QDir().mkpath(path) &&
           QFile::copy(m_ssh.clientSshFolder() + "/id_ed25519", path + "/id_ed25519") &&
           (!trusted || writeFile(path + "/known_hosts", m_ssh.knownHostsLine().toUtf8() + '\n'));
}

void SecureServers::writeSettings(Settings& settings, const Target& target, bool trusted) {
    settings.WriteOption("isFTP", "1");
    settings.WriteOption("Ftp", target.setting);
    settings.WriteOption("Port", target.port);
    settings.WriteOption("User", target.user);
    settings.WriteOption("Passw", target.password);
    // Over SFTP the folder's full path: the server's home is not its root.
    settings.WriteOption("FTPPAth", target.ftp ? "/pub/" : target.pub + "/");
    if (trusted && target.ftp)
        settings.WriteOption("TlsFingerprint", target.ftp->certificateFingerprint());
}
