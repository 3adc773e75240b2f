#include "FtpTestSupport.h"
#include "SecureServers.h"
#include "ftp/ServerAddress.h"

#include <QTemporaryDir>
#include <QtTest>

// cFTP over SFTP and FTP over TLS, explicit and implicit, against real servers on 127.0.0.1.
class TestFtpSecure : public QObject {
    Q_OBJECT

    SecureServers m_servers;
    QTemporaryDir m_client;
    using Target = SecureServers::Target;

    // Trusted: the host key is in known_hosts, or the certificate's fingerprint is kept.
    std::unique_ptr<cFTP> client(const Target& t, bool trusted) {
        auto ftp = std::make_unique<cFTP>();
        const QString folder = m_client.filePath(QString::number(++m_folders));
        m_servers.makeSshFolder(folder, trusted);
        if (trusted && t.ftp)
            ftp->setTrustedCertificate(t.ftp->certificateFingerprint());
        ftp->setSshFolder(folder);
        ftp->setPort(t.port);
        return ftp;
    }
    int m_folders = 0;

    static void kinds() {
        QTest::addColumn<QString>("kind");
        for (const char* kind : {"sftp", "ftpes", "ftps"})
            QTest::newRow(kind) << QString::fromLatin1(kind);
    }

private slots:
    void initTestCase() { QCOMPARE(m_servers.start(), QString()); }

    // Refused with a wrong password, then the same members and errors as over plain FTP.
    void filesMoveByteExactAndListAsOverFtp_data() { kinds(); }
    void filesMoveByteExactAndListAsOverFtp() {
        QFETCH(QString, kind);
        const Target t = m_servers.target(kind);
        auto ftp = client(t, true);
        QVERIFY(!ftp->Connect(t.setting, t.user, "Wrong-Secret-9"));
        QCOMPARE(hex(CurrentError().number), hex(FtpError::LogOnFailed));
        QVERIFY(CurrentError().description.startsWith("Cannot Connect to " + t.setting));
        QVERIFY(!CurrentError().description.contains("Wrong-Secret-9"));
        QCOMPARE(ftp->LastRefusal().reason, ServerRefusal::Reason::None);
        // SFTP with an empty password logs on with the key file.
        ftp = client(t, true);
        QVERIFY2(ftp->Connect(t.setting, t.user, t.password), qPrintable(recorded()));
        // The log-on folder (over SFTP not "\\", the file system's root) lists as over FTP.
        QStringList entries = ftp->GetDirectoryList().split("||"); // sshd's order is the disk's
        entries.sort();
        QCOMPARE(entries, QStringList({"a.txt@@128", "pub@@16"}));
        const QByteArray bytes = QByteArray("0123456789\r\n").repeated(60000);
        const QString local = m_client.filePath(kind + ".bin");
        QVERIFY(writeFile(local, bytes));
        ftp->setDirectory("pub");
        QVERIFY2(ftp->PutFile(local, "up load.bin", cFTP::Binary), qPrintable(recorded()));
        QCOMPARE(readFile(t.pub + "/up load.bin"), bytes);
        QVERIFY(ftp->RenameFile("up load.bin", "renamed.bin"));
        QCOMPARE(ftp->GetDirectoryList(), "renamed.bin@@128");
        QVERIFY(ftp->GetFile("renamed.bin", local + ".back", cFTP::Binary));
        QCOMPARE(readFile(local + ".back"), bytes);
        QVERIFY(ftp->FileExists("renamed.bin"));
        QVERIFY(ftp->DeleteFile("renamed.bin"));
        QVERIFY(!ftp->FileExists("renamed.bin"));
        QVERIFY(!ftp->DeleteFile("renamed.bin"));
        QCOMPARE(recorded(),
                 hex(FtpError::DeleteFailed) + " Couldn't Delete File renamed.bin from Server");
        const QString renamed = described(raisedBy([&] { ftp->RenameFile("gone", "x"); }));
        QVERIFY2(renamed.startsWith("800407d3 KivoFTP::RenameFile: Couldn't Rename File gone\r\n" +
                                    QString(t.ftp ? "5" : "")),
                 qPrintable(renamed));
        ftp->setDirectory("/nowhere");
        QCOMPARE(hex(CurrentError().number), hex(FtpError::ChangeDirFailed));
        QCOMPARE(ftp->Directory(), "pub");
    }

    // A log-on never trusts a server it does not know; accepting keeps exactly what was shown.
    void unknownServerRefusedUntilAccepted_data() { kinds(); }
    void unknownServerRefusedUntilAccepted() {
        QFETCH(QString, kind);
        const Target t = m_servers.target(kind);
        auto ftp = client(t, false);
        const qsizetype passwords = t.ftp ? t.ftp->commands().count("PASS ***") : 0;
        const QString password = t.ftp ? "Not-Sent-42" : t.password;
        QVERIFY(!ftp->Connect(t.setting, t.user, password));
        const ServerRefusal refusal = ftp->LastRefusal();
        QCOMPARE(refusal.reason, t.ftp ? ServerRefusal::Reason::UntrustedCertificate
                                       : ServerRefusal::Reason::UnknownHostKey);
        QVERIFY(CurrentError().description.contains(refusal.fingerprint));
        QVERIFY(!CurrentError().description.contains("Not-Sent-42"));
        if (t.ftp) {
            QCOMPARE(refusal.fingerprint, t.ftp->certificateFingerprint());
            // The password never reached the server.
            QCOMPARE(t.ftp->commands().count("PASS ***"), passwords);
        } else {
            QVERIFY(ftp->AcceptHostKey());
            QCOMPARE(readFile(ftp->SshFolder() + "/known_hosts").trimmed(),
                     m_servers.ssh().knownHostsLine().toUtf8());
        }
    }

    void changedHostKeyNeverReplaced() {
        const Target t = m_servers.target("sftp");
        auto ftp = client(t, false);
        const QByteArray other =
            "[127.0.0.1]:" + QByteArray::number(t.port) +
            " ssh-ed25519 AAAAC3NzaC1lZDI1NTE5AAAAIOMqqnkVzrm0SdG6UOoqKLsabgH5C9okWi0dh2l9GKJl\n";
        QVERIFY(writeFile(ftp->SshFolder() + "/known_hosts", other));
        QVERIFY(!ftp->Connect(t.setting, t.user, t.password));
        QCOMPARE(ftp->LastRefusal().reason, ServerRefusal::Reason::ChangedHostKey);
        QVERIFY(CurrentError().description.contains("CHANGED"));
        QVERIFY(!ftp->AcceptHostKey());
        QCOMPARE(readFile(ftp->SshFolder() + "/known_hosts"), other);
    }

    void otherCertificateThanTrustedRefused() {
        const Target t = m_servers.target("ftpes");
        auto ftp = client(t, false);
        ftp->setTrustedCertificate(QString(64, 'A'));
        QVERIFY(!ftp->Connect(t.setting, t.user, t.password));
        QVERIFY(ftp->LastRefusal().otherThanTrusted);
        QCOMPARE(ftp->LastRefusal().fingerprint, t.ftp->certificateFingerprint());
    }

    void serverSettingNamesKindAndPort_data() {
        QTest::addColumn<QString>("setting");
        QTest::addColumn<int>("port");
        QTest::addColumn<QString>("expected"); // scheme host port
        QTest::newRow("bare host") << "ftp.example.org" << 21 << "ftp ftp.example.org 21";
        QTest::newRow("sftp default") << "sftp://h" << 21 << "sftp h 22";
        QTest::newRow("sftp no port") << "SFTP://h/" << 0 << "sftp h 22";
        QTest::newRow("explicit tls") << "ftpes://h" << 21 << "ftp h 21";
        QTest::newRow("implicit tls") << "ftps://h" << 21 << "ftps h 990";
    }
    void serverSettingNamesKindAndPort() {
        QFETCH(QString, setting);
        QFETCH(int, port);
        QFETCH(QString, expected);
        const ServerAddress a = parseServerAddress(setting, port);
        QCOMPARE(QStringLiteral("%1 %2 %3").arg(a.scheme(), a.host).arg(a.port), expected);
    }
};

QTEST_GUILESS_MAIN(TestFtpSecure)
#include "TestFtpSecure.moc"
