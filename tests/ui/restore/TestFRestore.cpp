#include "SecureServers.h"
#include "TestFiles.h"
#include "backup/PackFiles.h"
#include "store/Settings.h"
#include "ui/restore/FRestore.h"

#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTreeWidget>
#include <QtTest>

// The restore window with an archive that Info-ZIP's zip made of docs/a.txt, docs/b.txt and
// top.txt, opened from a file or from the test server.
class TestFRestore : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    FtpServer m_server;
    SecureServers m_secure;
    NoArchiveCatalog m_catalog;
    std::unique_ptr<Settings> m_settings;
    std::unique_ptr<Settings> m_sftpSettings = std::make_unique<Settings>(path("sftp.ini"));
    std::unique_ptr<FRestore> m_window;

    QString path(const QString& relative) const { return m_dir.filePath(relative); }
    QTreeWidget* tree(const char* name) const { return m_window->findChild<QTreeWidget*>(name); }
    QString lastLine() const {
        const int n = tree("LV")->topLevelItemCount();
        return n ? tree("LV")->topLevelItem(n - 1)->text(0) : QString();
    }
    void tick(const QString& entry) {
        auto items = tree("tvwEntries")->findItems(entry, Qt::MatchExactly | Qt::MatchRecursive);
        QVERIFY(!items.isEmpty());
        items[0]->setCheckState(0, Qt::Checked);
    }
    void click(const char* name) {
        QTest::mouseClick(m_window->findChild<QPushButton*>(name), Qt::LeftButton);
    }

private slots:
    void initTestCase() {
        QVERIFY(writeFile(path("tree/docs/a.txt"), "a") &&
                writeFile(path("tree/docs/b.txt"), "b") &&
                writeFile(path("tree/top.txt"), "top-content"));
        QProcess zip;
        zip.setWorkingDirectory(path("tree"));
        zip.start("zip", {"-qr", m_server.pathOf("pub/night.zip"), "."});
        QVERIFY(zip.waitForFinished() && zip.exitCode() == 0);
        FileSlots files;
        files.set(1, path("tree/top.txt"));
        PackFiles(1, path("locked.zip"), files, {}, {.skipped = {}, .password = "right"});
        QVERIFY(m_server.start());
        QCOMPARE(m_secure.start(), QString());
        QVERIFY(m_secure.makeSshFolder(path("ssh"), true) &&
                QFile::copy(m_server.pathOf("pub/night.zip"),
                            m_secure.target("sftp").pub + "/night.zip"));
        m_settings = std::make_unique<Settings>(path("Vodidore.ini"));
        m_settings->WriteOption("Ftp", m_server.host());
        m_settings->WriteOption("Port", m_server.port());
        m_settings->WriteOption("User", m_server.user());
        m_settings->WriteOption("Passw", m_server.password());
    }
    void init() {
        m_window = std::make_unique<FRestore>(
            *m_settings, [] { return std::make_unique<cFTP>(); }, m_catalog);
        m_window->show();
    }

    void restoresTheTickedFileOnly_data() {
        QTest::addColumn<bool>("remote");
        QTest::newRow("zip file") << false;
        QTest::newRow("from the server") << true;
        QTest::newRow("from the server over SFTP") << true;
    }

    void restoresTheTickedFileOnly() {
        QFETCH(bool, remote);
        const bool overSftp = QString(QTest::currentDataTag()).endsWith("SFTP");
        if (overSftp) {
            SecureServers::writeSettings(*m_sftpSettings, m_secure.target("sftp"), true);
            m_window =
                std::make_unique<FRestore>(*m_sftpSettings, sshClients(path("ssh")), m_catalog);
        }
        QVERIFY(remote ? m_window->openRemote(overSftp ? m_secure.target("sftp").pub + "/night.zip"
                                                       : "/pub/night.zip")
                       : m_window->openArchive(m_server.pathOf("pub/night.zip")));
        QCOMPARE(m_window->findChild<QLineEdit*>("txtTarget")->text(),
                 QDir::home().filePath("Restored/night"));
        tick("b.txt");
        if (!qEnvironmentVariableIsEmpty("VESTREL_SHOTS") && remote)
            m_window->grab().save(qEnvironmentVariable("VESTREL_SHOTS") + "/restore.png");
        const QString target = path(QTest::currentDataTag());
        m_window->findChild<QLineEdit*>("txtTarget")->setText(target);
        click("cmdRestore");
        QCOMPARE(listing(target), QStringList{"docs"});
        QCOMPARE(listing(target + "/docs"), QStringList{"b.txt"});
        QCOMPARE(readFile(target + "/docs/b.txt"), QByteArray("b"));
        const auto* bar = m_window->findChild<QProgressBar*>("prgWork");
        QCOMPARE(bar->value(), bar->maximum());
    }

    void encryptedArchiveTakesItsPassword_data() {
        QTest::addColumn<QString>("options"); // the options' archive password
        QTest::addColumn<QStringList>("typed");
        QTest::addColumn<int>("asked"); // of which the later ones say it was wrong
        QTest::addColumn<bool>("opened");
        QTest::newRow("the options' password") << "right" << QStringList() << 0 << true;
        QTest::newRow("options wrong, typed") << "old" << QStringList{"right"} << 1 << true;
        QTest::newRow("wrong, then right") << "" << QStringList{"no", "right"} << 2 << true;
        QTest::newRow("cancelled") << "" << QStringList{"no"} << 2 << false;
    }

    // Restore and "Check archive" use the password that opened it; without one nothing opens.
    void encryptedArchiveTakesItsPassword() {
        QFETCH(QString, options);
        QFETCH(QStringList, typed);
        QFETCH(int, asked);
        QFETCH(bool, opened);
        m_settings->WriteOption("ArchPass", options);
        QStringList prompts;
        m_window->setPasswordQuestion([&](const QString& prompt) -> std::optional<QString> {
            prompts << prompt;
            return typed.isEmpty() ? std::nullopt : std::optional(typed.takeFirst());
        });
        QCOMPARE(m_window->openArchive(path("locked.zip")), opened);
        QCOMPARE(prompts.size(), asked);
        QCOMPARE(prompts.filter("Wrong password").size(), std::max(asked - 1, 0));
        if (!opened) {
            QCOMPARE(lastLine(), "Wrong password for locked.zip");
            return;
        }
        click("cmdCheck");
        QVERIFY2(lastLine().contains("reads back whole"), qPrintable(lastLine()));
        const QString target = path(QString("unlocked/") + QTest::currentDataTag());
        m_window->findChild<QLineEdit*>("txtTarget")->setText(target);
        tick("top.txt");
        click("cmdRestore");
        QCOMPARE(readFile(target + "/top.txt"), "top-content");
    }

    void asksBeforeReplacingAFile() {
        QVERIFY(writeFile(path("ask/top.txt"), "mine"));
        QStringList asked;
        m_window->setExistingQuestion([&](const QString& file) {
            asked << file;
            return ExistingChoice{ExistingAnswer::KeepBoth};
        });
        QVERIFY(m_window->openArchive(m_server.pathOf("pub/night.zip")));
        m_window->findChild<QLineEdit*>("txtTarget")->setText(path("ask"));
        tick("top.txt");
        click("cmdRestore");
        QCOMPARE(asked, QStringList{path("ask/top.txt")});
        QCOMPARE(readFile(path("ask/top.txt")) + readFile(path("ask/top (2).txt")),
                 "minetop-content");
    }

    void checkArchiveTellsAChangedByte() {
        QFile::copy(m_server.pathOf("pub/night.zip"), path("bad.zip"));
        QFile bad(path("bad.zip"));
        QVERIFY(bad.open(QIODevice::ReadWrite));
        QByteArray bytes = bad.readAll();
        bytes.replace("top-content", "tap-content");
        bad.seek(0);
        bad.write(bytes);
        bad.close();
        for (const QString& archive : {m_server.pathOf("pub/night.zip"), path("bad.zip")}) {
            QVERIFY(m_window->openArchive(archive));
            click("cmdCheck");
            QCOMPARE(lastLine().contains("does not read back whole"), archive.endsWith("bad.zip"));
        }
    }
};

QTEST_MAIN(TestFRestore)
#include "TestFRestore.moc"
