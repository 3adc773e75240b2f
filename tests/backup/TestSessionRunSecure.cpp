#include "BackupTestKit.h"
#include "FtpServer.h"
#include "SshServer.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

// A run uploads over SFTP and FTP over TLS; an unknown host key or a self-signed certificate is
// a red-cross line that says how to accept it, and the archive stays.
class TestSessionRunSecure : public QObject {
    Q_OBJECT

    SshServer m_ssh;
    FtpServer m_explicit;
    FtpServer m_implicit;
    QTemporaryDir m_dir;

private slots:
    void initTestCase() {
        QVERIFY2(m_ssh.start(), qPrintable(m_ssh.errorString()));
        QVERIFY2(m_explicit.start({.tls = FtpServer::Options::Tls::Explicit}),
                 qPrintable(m_explicit.errorString()));
        QVERIFY2(m_implicit.start({.tls = FtpServer::Options::Tls::Implicit}),
                 qPrintable(m_implicit.errorString()));
    }

    void run_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("trusted");
        QTest::addColumn<QString>("failure"); // part of the one red-cross line; empty: sent
        for (const char* kind : {"sftp", "ftpes", "ftps"})
            QTest::addRow("%s", kind) << QString(kind) << true << QString();
        QTest::newRow("sftp, unknown host key") << "sftp" << false << "is not in";
        QTest::newRow("ftpes, self-signed") << "ftpes" << false << "not trusted by this system";
        QTest::newRow("ftps, self-signed") << "ftps" << false << "not trusted by this system";
    }
    void run() {
        QFETCH(QString, kind);
        QFETCH(bool, trusted);
        QFETCH(QString, failure);
        const QString folder = m_dir.filePath(QTest::currentDataTag());
        const QString sshFolder = folder + "/ssh";
        QVERIFY(QDir().mkpath(sshFolder) && QDir().mkpath(folder + "/store"));
        QVERIFY(QFile::copy(m_ssh.clientSshFolder() + "/id_ed25519", sshFolder + "/id_ed25519"));
        QVERIFY(writeFile(folder + "/data/A", QByteArray(100000, 'a')));
        Settings settings(folder + "/Vodidore.ini");
        settings.WriteOption("Store", folder + "/store");
        QString remote;
        if (kind == "sftp") {
            settings.WriteOption("isFTP", "1");
            settings.WriteOption("Ftp", m_ssh.address());
            settings.WriteOption("Port", m_ssh.port());
            settings.WriteOption("User", m_ssh.user());
            settings.WriteOption("FTPPAth", m_ssh.pathOf("pub") + "/");
            remote = m_ssh.pathOf("pub/" + ArchiveName);
            if (trusted)
                QVERIFY(writeFile(sshFolder + "/known_hosts", m_ssh.knownHostsLine().toUtf8()));
        } else {
            FtpServer& server = kind == "ftpes" ? m_explicit : m_implicit;
            switchUploadOn(settings, server);
            settings.WriteOption("Ftp", kind + "://" + server.host());
            remote = server.pathOf("pub/" + ArchiveName);
            if (trusted)
                settings.WriteOption("TlsFingerprint", server.certificateFingerprint());
        }
        QFile::remove(remote);
        const SessionRun run(
            settings,
            [&] {
                auto ftp = std::make_unique<cFTP>();
                ftp->setSshFolder(sshFolder);
                return ftp;
            },
            [] { return RunTime; }, folder);
        EventLogLines log;
        const bool failed = run.LPack({folder + "/data/A"}, log);
        QCOMPARE(failed, !failure.isEmpty());
        const QString kept = folder + "/store/" + ArchiveName;
        if (failure.isEmpty()) {
            QCOMPARE(log.lines().size(), size_t(3));
            QCOMPARE(readArchive(remote).data("A"), QByteArray(100000, 'a'));
            QVERIFY(!QFile::exists(kept));
        } else {
            QCOMPARE(log.lines().size(), size_t(1));
            QCOMPARE(log.lines()[0].icon, IconFailure);
            QVERIFY2(log.lines()[0].text.contains(failure), qPrintable(log.lines()[0].text));
            QVERIFY(log.lines()[0].text.contains("open the FTP Explorer"));
            QVERIFY(QFile::exists(kept) && !QFile::exists(remote));
            QVERIFY(!QFile::exists(sshFolder + "/known_hosts"));
        }
    }
};

QTEST_GUILESS_MAIN(TestSessionRunSecure)
#include "TestSessionRunSecure.moc"
