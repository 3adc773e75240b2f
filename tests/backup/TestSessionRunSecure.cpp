#include "BackupTestKit.h"
#include "SecureServers.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

// A run uploads over SFTP and FTP over TLS; an unknown host key or a self-signed certificate is
// a red-cross line that says how to accept it, and the archive stays. The session keeps 1: a
// good run deletes the earlier archive on the server.
class TestSessionRunSecure : public QObject {
    Q_OBJECT

    SecureServers m_servers;
    QTemporaryDir m_dir;

private slots:
    void initTestCase() { QCOMPARE(m_servers.start(), QString()); }

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
        QVERIFY(m_servers.makeSshFolder(sshFolder, trusted) && QDir().mkpath(folder + "/store"));
        QVERIFY(writeFile(folder + "/data/A", QByteArray(100000, 'a')));
        Settings settings(folder + "/Vodidore.ini");
        settings.WriteOption("Store", folder + "/store");
        const SecureServers::Target t = m_servers.target(kind);
        SecureServers::writeSettings(settings, t, trusted);
        const QString remote = t.pub + "/" + ArchiveName;
        QFile::remove(remote);
        RunRecord earlier;
        earlier.destination = t.setting + ":" + settings.text(Options::FtpPath) + "old.zip";
        QVERIFY(writeFile(t.pub + "/old.zip", "old"));
        EventLogLines log;
        const bool failed = sessionRun(settings, sshFolder)
                                .LPack({folder + "/data/A"}, log, {}, {1, {}, {earlier}})
                                .failed();
        QCOMPARE(QFile::exists(t.pub + "/old.zip"), failed);
        QCOMPARE(failed, !failure.isEmpty());
        const QString kept = folder + "/store/" + ArchiveName;
        if (failure.isEmpty()) {
            QCOMPARE(log.lines().size(), size_t(4));
            QVERIFY(log.lines().back().text.startsWith("Deleted the old archive"));
            QCOMPARE(readArchive(remote).data("A"), QByteArray(100000, 'a'));
            QVERIFY(!QFile::exists(kept));
        } else {
            QCOMPARE(log.lines().size(), size_t(2)); // the failure, and where the archive was kept
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
