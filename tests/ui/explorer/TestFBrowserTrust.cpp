#include "SecureServers.h"
#include "store/Settings.h"
#include "ui/explorer/FBrowser.h"

#include <QTemporaryDir>
#include <QTreeWidget>
#include <QtTest>

// The explorer shows an unknown host key or an untrusted certificate and asks once; Yes keeps
// it (known_hosts, or the "TlsFingerprint" option), No logs the refusal and is not asked again.
class TestFBrowserTrust : public QObject {
    Q_OBJECT

    SecureServers m_servers;
    QTemporaryDir m_dir;

private slots:
    void initTestCase() { QCOMPARE(m_servers.start(), QString()); }

    void asksOnceAndKeepsTheAnswer_data() {
        QTest::addColumn<bool>("ssh");
        QTest::addColumn<bool>("answer");
        QTest::newRow("host key, yes") << true << true;
        QTest::newRow("host key, no") << true << false;
        QTest::newRow("certificate, yes") << false << true;
        QTest::newRow("certificate, no") << false << false;
    }
    void asksOnceAndKeepsTheAnswer() {
        QFETCH(bool, ssh);
        QFETCH(bool, answer);
        const QString tag = QTest::currentDataTag();
        const QString sshFolder = m_dir.filePath(tag);
        QVERIFY(m_servers.makeSshFolder(sshFolder, false));
        Settings settings(m_dir.filePath(tag + ".ini"));
        const SecureServers::Target t = m_servers.target(ssh ? "sftp" : "ftpes");
        SecureServers::writeSettings(settings, t, false);
        FBrowser window(settings, [&] {
            auto client = std::make_unique<cFTP>();
            client->setSshFolder(sshFolder);
            return client;
        });
        QStringList asked;
        window.setTrustQuestion([&](const QString& question) {
            asked << question;
            return answer;
        });
        auto* lv = window.findChild<QTreeWidget*>("LV");
        window.show();
        window.activateWindow();
        QTRY_COMPARE(lv->topLevelItemCount(), 1);
        QCOMPARE(asked.size(), 1);
        const QString fingerprint = ssh ? QString() : t.ftp->certificateFingerprint();
        QVERIFY(asked[0].contains(fingerprint));
        const QString line = lv->topLevelItem(0)->text(0);
        QCOMPARE(line == "Connection succesful", answer);
        QCOMPARE(ssh ? QFile::exists(sshFolder + "/known_hosts")
                     : settings.ReadOption("TlsFingerprint", QString()) == fingerprint,
                 answer);
        QCOMPARE(QFile(settings.filePath()).permissions() & 0x0077, QFileDevice::Permissions());
        if (!answer)
            QVERIFY(line.contains(ssh ? "is not in" : "not trusted by this system"));

        // Back from another window: no second question, whatever the answer was.
        QWidget other;
        other.show();
        other.activateWindow();
        QTRY_VERIFY(other.isActiveWindow());
        window.activateWindow();
        QTRY_VERIFY(window.isActiveWindow());
        QTRY_COMPARE(lv->topLevelItemCount(), 1);
        QCOMPARE(asked.size(), 1);
    }
};

QTEST_MAIN(TestFBrowserTrust)
#include "TestFBrowserTrust.moc"
