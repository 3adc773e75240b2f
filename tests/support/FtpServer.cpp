#include "FtpServer.h"

#include "SshServer.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>

namespace {

constexpr int StartWaitMs = 15000;

} // namespace

FtpServer::FtpServer() {
    QDir(m_home.path()).mkdir(QStringLiteral("pub"));
    QFile file(pathOf(QStringLiteral("a.txt")));
    if (file.open(QIODevice::WriteOnly))
        file.write("hello from the test server\n");
}

FtpServer::~FtpServer() {
    stop();
}

bool FtpServer::start(const Options& options) {
    stop();
    m_error.clear();
    if (!m_home.isValid() || !m_state.isValid()) {
        m_error = QStringLiteral("no temp folder");
        return false;
    }
    QStringList arguments{QStringLiteral(VESTREL_SOURCE_DIR "/tests/support/ftp_server.py")};
    arguments << "--home" << m_home.path() << "--user" << user() << "--password" << password()
              << "--port" << QString::number(m_port) << "--command-log"
              << m_state.filePath("commands") << "--stop-after-bytes"
              << QString::number(options.stopAfterBytes);
    if (!options.mlsd)
        arguments << "--no-mlsd";
    if (!options.answerQuit)
        arguments << "--ignore-quit";
    if (options.tls != Options::Tls::None) {
        if (m_certificate.isEmpty()) {
            const QString pem = m_state.filePath(QStringLiteral("server.pem"));
            if (!runTool(QStringLiteral("openssl"),
                         {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj",
                          "/CN=localhost", "-keyout", pem, "-out", pem},
                         &m_error))
                return false;
            m_certificate = pem;
        }
        arguments << QStringLiteral("--tls")
                  << (options.tls == Options::Tls::Explicit ? QStringLiteral("explicit")
                                                            : QStringLiteral("implicit"))
                  << QStringLiteral("--certfile") << m_certificate;
    }
    // pyftpdlib is Debian's: a python3 earlier on PATH may lack it.
    m_process.start(QStringLiteral("/usr/bin/python3"), arguments);
    // The server prints its port once it listens.
    while (m_process.waitForStarted(StartWaitMs) && !m_process.canReadLine()) {
        if (!m_process.waitForReadyRead(StartWaitMs))
            break;
    }
    bool ok = false;
    const int port = m_process.readLine().trimmed().toInt(&ok);
    if (!ok || port <= 0) {
        m_error = m_process.errorString() + QLatin1Char(' ') +
                  QString::fromLocal8Bit(m_process.readAllStandardError());
        stop();
        return false;
    }
    m_port = port;
    return true;
}

void FtpServer::stop() {
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.kill();
    m_process.waitForFinished(StartWaitMs);
}

QString FtpServer::pathOf(const QString& relative) const {
    return QDir(m_home.path()).filePath(relative);
}

int FtpServer::logOnCount() const {
    return int(commands().filter(QRegularExpression(QStringLiteral("^login "))).size());
}

QStringList FtpServer::commands() const {
    QFile log(m_state.filePath(QStringLiteral("commands")));
    if (!log.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(log.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

QString FtpServer::certificateFingerprint() const {
    QByteArray output;
    if (!runTool(QStringLiteral("openssl"),
                 {"x509", "-noout", "-fingerprint", "-sha256", "-in", m_certificate}, nullptr,
                 &output))
        return {};
    return QString::fromLatin1(output.mid(output.indexOf('=') + 1).trimmed());
}
