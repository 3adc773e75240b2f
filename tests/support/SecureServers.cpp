#include "SecureServers.h"

#include "TestFiles.h"
#include "store/Settings.h"

QString SecureServers::start() {
    if (!m_ssh.start())
        return m_ssh.errorString();
    if (!m_explicit.start({.tls = FtpServer::Options::Tls::Explicit}))
        return m_explicit.errorString();
    if (!m_implicit.start({.tls = FtpServer::Options::Tls::Implicit}))
        return m_implicit.errorString();
    return {};
}

SecureServers::Target SecureServers::target(const QString& kind) {
    if (kind == "sftp")
        return {m_ssh.address(),      m_ssh.port(),        m_ssh.user(), "",
                m_ssh.pathOf("pub/"), m_ssh.pathOf("pub"), nullptr};
    FtpServer& s = kind == "ftpes" ? m_explicit : m_implicit;
    return {kind + "://" + s.host(), s.port(), s.user(), s.password(), "/pub/",
            s.pathOf("pub"),         &s};
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
    settings.WriteOption("FTPPAth", target.folder);
    if (trusted && target.ftp)
        settings.WriteOption("TlsFingerprint", target.ftp->certificateFingerprint());
}
