#include "S3Server.h"

#include "TestFiles.h"

#include <QDirIterator>
#include <QLockFile>
#include <QStandardPaths>

namespace {

constexpr int InstallWaitMs = 110000;
const QString Package = QStringLiteral("s3rver@3.7.1");

// Installs s3rver beside the tests once; concurrent tests wait for the first install.
QString s3rverScript(QString& error) {
    const QString prefix = QStringLiteral(VESTREL_BINARY_DIR "/tests/s3rver");
    const QString script = prefix + QStringLiteral("/node_modules/s3rver/bin/s3rver.js");
    QDir().mkpath(prefix);
    QLockFile lock(prefix + QStringLiteral("/install.lock"));
    lock.setStaleLockTime(0);
    if (!lock.tryLock(InstallWaitMs)) {
        error = QStringLiteral("another test holds %1/install.lock").arg(prefix);
        return {};
    }
    if (QFile::exists(script))
        return script;
    QProcess npm;
    npm.setProcessChannelMode(QProcess::MergedChannels);
    npm.start(QStringLiteral("npm"),
              {"install", "--no-audit", "--no-fund", "--prefix", prefix, Package});
    if (!npm.waitForFinished(InstallWaitMs) || npm.exitCode() != 0 || !QFile::exists(script))
        error = QStringLiteral("npm install %1 failed: %2 %3")
                    .arg(Package, npm.errorString(), QString::fromLocal8Bit(npm.readAll()));
    return error.isEmpty() ? script : QString();
}

} // namespace

bool S3Server::start() {
    const QString script = s3rverScript(m_error);
    if (script.isEmpty())
        return false;
    QDir(m_dir.filePath(QStringLiteral("s3"))).removeRecursively();
    // s3rver does not check signatures: a proxy in front of it does, with the one secret.
    // s3rver's continuation tokens use a cipher that OpenSSL 3 keeps in its legacy provider.
    return launch(QStringLiteral("/usr/bin/python3"),
                  {VESTREL_SOURCE_DIR "/tests/support/sigv4_proxy.py", "--port",
                   QString::number(m_port), "--secret", secret(), "--", "node",
                   "--openssl-legacy-provider", script, "-d", m_dir.filePath(QStringLiteral("s3")),
                   "-a", host(), "--configure-bucket", bucket()},
                  "signature check ready");
}

QStringList S3Server::keys() const {
    const QString suffix = QStringLiteral("._S3rver_object");
    QStringList found;
    QDirIterator it(storage(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = QDir(storage()).relativeFilePath(it.next());
        if (path.endsWith(suffix))
            found << path.chopped(suffix.size());
    }
    found.sort();
    return found;
}

int S3Server::openUploads() const {
    return int(listing(storage() + QStringLiteral("/._S3rver_uploads")).size());
}

QByteArray S3Server::output() {
    // The server logs a request just after answering it: take what arrives until it goes quiet.
    do {
        m_output += m_process.readAll();
    } while (m_process.waitForReadyRead(100));
    return m_output;
}
