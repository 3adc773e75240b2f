#include "SshServer.h"

#include <QDir>
#include <QFile>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr int StartWaitMs = 15000;

int freePort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    auto* any = reinterpret_cast<sockaddr*>(&address);
    int port = 0;
    if (fd >= 0 && ::bind(fd, any, length) == 0 && ::getsockname(fd, any, &length) == 0)
        port = ntohs(address.sin_port);
    if (fd >= 0)
        ::close(fd);
    return port;
}

bool writeText(const QString& path, const QString& text) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(text.toUtf8()) >= 0;
}

} // namespace

bool runTool(const QString& program, const QStringList& arguments, QString* error,
             QByteArray* output) {
    QProcess process;
    process.start(program, arguments);
    const bool ok = process.waitForFinished(StartWaitMs) &&
                    process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    if (output)
        *output = process.readAllStandardOutput();
    if (!ok && error)
        *error = program + QStringLiteral(": ") + process.errorString() + QLatin1Char(' ') +
                 QString::fromLocal8Bit(process.readAllStandardError());
    return ok;
}

SshServer::SshServer() {
    const passwd* entry = ::getpwuid(::getuid());
    m_user = entry ? QString::fromLocal8Bit(entry->pw_name) : QString();
    QDir root(m_dir.path());
    root.mkpath(QStringLiteral("home/pub"));
    root.mkpath(QStringLiteral("client"));
    writeText(pathOf(QStringLiteral("a.txt")), QStringLiteral("hello from the test server\n"));
    for (const QString& key : {root.filePath("host_key"), clientSshFolder() + "/id_ed25519"})
        runTool(QStringLiteral("ssh-keygen"), {"-q", "-t", "ed25519", "-N", "", "-f", key},
                &m_error);
    QFile::copy(clientSshFolder() + "/id_ed25519.pub", root.filePath("authorized_keys"));
}

SshServer::~SshServer() {
    stop();
}

QString SshServer::pathOf(const QString& relative) const {
    return m_dir.filePath(QStringLiteral("home/") + relative);
}

QString SshServer::clientSshFolder() const {
    return m_dir.filePath(QStringLiteral("client"));
}

QString SshServer::knownHostsLine() const {
    QFile key(m_dir.filePath(QStringLiteral("host_key.pub")));
    if (!key.open(QIODevice::ReadOnly))
        return {};
    const QStringList parts = QString::fromUtf8(key.readAll()).split(QLatin1Char(' '));
    return QStringLiteral("[127.0.0.1]:%1 %2 %3").arg(m_port).arg(parts.value(0), parts.value(1));
}

bool SshServer::start() {
    stop();
    if (m_port == 0)
        m_port = freePort();
    // sshd's privilege-separation folder, made only when its service first starts.
    QDir().mkpath(QStringLiteral("/run/sshd"));
    const QString config = m_dir.filePath(QStringLiteral("sshd_config"));
    writeText(config, QStringLiteral("Port %1\nListenAddress 127.0.0.1\nHostKey %2\nPidFile none\n"
                                     "AuthorizedKeysFile %3\nStrictModes no\nPermitRootLogin yes\n"
                                     "PasswordAuthentication yes\nKbdInteractiveAuthentication no\n"
                                     "UsePAM no\nSubsystem sftp internal-sftp\n"
                                     "ForceCommand internal-sftp -d %4\nLogLevel INFO\n")
                          .arg(m_port)
                          .arg(m_dir.filePath("host_key"), m_dir.filePath("authorized_keys"),
                               pathOf(QString())));
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    m_process.start(QStringLiteral("/usr/sbin/sshd"), {"-D", "-e", "-f", config});
    QByteArray said;
    while (!said.contains("Server listening")) {
        if (!m_process.waitForReadyRead(StartWaitMs)) {
            m_error = QStringLiteral("sshd did not start: ") + QString::fromLocal8Bit(said) +
                      m_process.errorString();
            stop();
            return false;
        }
        said += m_process.readAll();
    }
    return true;
}

void SshServer::stop() {
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.kill();
    m_process.waitForFinished(StartWaitMs);
}
