#include "FtpServer.h"

#include "TestFiles.h"
#include "store/Settings.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTcpServer>

namespace {

constexpr int StartWaitMs = 15000;

int freePort() {
    QTcpServer probe;
    return probe.listen(QHostAddress::LocalHost) ? probe.serverPort() : 0;
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

ServerProcess::ServerProcess()
    : m_port(freePort()) {
    QDir().mkpath(pathOf(QStringLiteral("pub")));
    writeFile(pathOf(QStringLiteral("a.txt")), "hello from the test server\n");
}

ServerProcess::~ServerProcess() {
    stop();
}

void ServerProcess::stop() {
    m_process.kill();
    m_process.waitForFinished(StartWaitMs);
}

QString ServerProcess::pathOf(const QString& relative) const {
    return m_dir.filePath(QStringLiteral("home/") + relative);
}

bool ServerProcess::launch(const QString& program, const QStringList& arguments,
                           const QByteArray& ready) {
    stop();
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    m_process.start(program, arguments);
    QByteArray said;
    while (!said.contains(ready)) {
        if (!m_process.waitForReadyRead(StartWaitMs)) {
            m_error = program + QStringLiteral(" did not start: ") + QString::fromLocal8Bit(said) +
                      m_process.errorString();
            stop();
            return false;
        }
        said += m_process.readAll();
    }
    return true;
}

bool FtpServer::start(const Options& options) {
    QStringList arguments{QStringLiteral(VESTREL_SOURCE_DIR "/tests/support/ftp_server.py")};
    arguments << "--home" << pathOf(QString()) << "--user" << user() << "--password" << password()
              << "--port" << QString::number(m_port) << "--command-log"
              << m_dir.filePath("commands") << "--stop-after-bytes"
              << QString::number(options.stopAfterBytes) << "--keep-bytes"
              << QString::number(options.keepBytes);
    if (!options.mlsd)
        arguments << "--no-mlsd";
    if (!options.answerQuit)
        arguments << "--ignore-quit";
    if (!options.lockedIn)
        arguments << "--unlocked";
    if (options.bytesPerSecond)
        arguments << "--bytes-per-second" << QString::number(options.bytesPerSecond);
    const QString pem = m_dir.filePath(QStringLiteral("server.pem"));
    if (options.tls != Options::Tls::None) {
        if (!QFile::exists(pem) &&
            !runTool(QStringLiteral("openssl"),
                     {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj",
                      "/CN=localhost", "-keyout", pem, "-out", pem},
                     &m_error))
            return false;
        arguments << "--tls" << (options.tls == Options::Tls::Explicit ? "explicit" : "implicit")
                  << "--certfile" << pem;
    }
    // pyftpdlib is Debian's: a python3 earlier on PATH may lack it. The server prints its port
    // once it listens.
    return launch(QStringLiteral("/usr/bin/python3"), arguments, QByteArray::number(m_port) + '\n');
}

int FtpServer::logOnCount() const {
    return int(commands().filter(QRegularExpression(QStringLiteral("^login "))).size());
}

QStringList FtpServer::commands() const {
    QFile log(m_dir.filePath(QStringLiteral("commands")));
    if (!log.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(log.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

QString FtpServer::certificateFingerprint() const {
    QByteArray output;
    if (!runTool(QStringLiteral("openssl"),
                 {"x509", "-noout", "-fingerprint", "-sha256", "-in",
                  m_dir.filePath(QStringLiteral("server.pem"))},
                 nullptr, &output))
        return {};
    return QString::fromLatin1(output.mid(output.indexOf('=') + 1).trimmed());
}

void switchUploadOn(Settings& settings, const FtpServer& server) {
    settings.WriteOption("isFTP", "1");
    settings.WriteOption("Ftp", server.host());
    settings.WriteOption("Port", QString::number(server.port()));
    settings.WriteOption("User", server.user());
    settings.WriteOption("Passw", server.password());
    settings.WriteOption("FTPPAth", "/pub/");
}
