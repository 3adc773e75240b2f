#include "QuestionAnswers.h"
#include "SecureServers.h"
#include "TestFiles.h"
#include "store/Settings.h"
#include "ui/events/ListViewLog.h"
#include "ui/explorer/FBrowser.h"

#include <QListWidget>
#include <QProgressDialog>
#include <QPushButton>
#include <QTreeWidget>
#include <QtTest>

// The explorer against a real server whose home holds pub/sub, a read-only folder "archive"
// and a.txt; the local side starts in a folder with b.txt and c.txt.
class TestFBrowser : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_local;
    std::unique_ptr<FtpServer> m_server;
    SecureServers m_secure;
    QTemporaryDir m_config;
    std::unique_ptr<Settings> m_settings;
    std::unique_ptr<FBrowser> m_window;

    // File1 is a list, LFTP a table; both are searched by the entries' names.
    QAbstractItemView* list(const char* name) const {
        return m_window->findChild<QAbstractItemView*>(name);
    }
    QStringList names(const char* name) const {
        QStringList out;
        for (int i = 0; i < list(name)->model()->rowCount(); ++i)
            out << list(name)->model()->index(i, 0).data().toString();
        return out;
    }
    // Log lines as "+ text" (check mark), "x text" (red cross) or "? text".
    QStringList lines() const {
        auto* lv = m_window->findChild<QTreeWidget*>("LV");
        QStringList out;
        for (int i = 0; i < lv->topLevelItemCount(); ++i) {
            const qint64 icon = lv->topLevelItem(i)->icon(0).cacheKey();
            out << (icon == eventLogIcon(IconSuccess).cacheKey()   ? "+ "
                    : icon == eventLogIcon(IconFailure).cacheKey() ? "x "
                                                                   : "? ") +
                       lv->topLevelItem(i)->text(0);
        }
        return out;
    }
    void select(const char* name, const QStringList& entries) {
        list(name)->clearSelection();
        for (int i = 0; i < list(name)->model()->rowCount(); ++i) {
            if (entries.contains(names(name)[i]))
                list(name)->selectionModel()->select(list(name)->model()->index(i, 0),
                                                     QItemSelectionModel::Select |
                                                         QItemSelectionModel::Rows);
        }
    }
    void click(const QString& button) {
        QTest::mouseClick(m_window->findChild<QPushButton*>(button), Qt::LeftButton);
    }
    void doubleClick(const QString& entry) {
        QAbstractItemView* lftp = list("LFTP");
        const QPoint at =
            lftp->visualRect(lftp->model()->index(int(names("LFTP").indexOf(entry)), 0)).center();
        QTest::mouseClick(lftp->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(lftp->viewport(), Qt::LeftButton, {}, at);
    }
    void open(const QString& password) {
        m_settings->WriteOption("Passw", password);
        m_window = std::make_unique<FBrowser>(*m_settings, sshClients(m_config.filePath("ssh")));
        m_window->show();
        m_window->activateWindow();
        QTRY_VERIFY(!lines().isEmpty());
    }

private slots:
    void initTestCase() {
        QCOMPARE(m_secure.start(), QString());
        QVERIFY(m_secure.makeSshFolder(m_config.filePath("ssh"), true) &&
                QDir().mkpath(m_secure.target("sftp").pub + "/sub"));
    }
    void init() {
        // The server starts in the current folder, which must outlive it.
        m_local = std::make_unique<QTemporaryDir>();
        QDir::setCurrent(m_local->path());
        QVERIFY(writeFile("b.txt", "b.txt") && writeFile("c.txt", "c.txt"));
        m_server = std::make_unique<FtpServer>();
        const QString archive = m_server->pathOf("archive");
        QVERIFY(QDir().mkpath(m_server->pathOf("pub/sub")) && QDir().mkpath(archive));
        QVERIFY(QFile::setPermissions(archive, QFile::ReadOwner | QFile::ExeOwner));
        QVERIFY2(m_server->start(), qPrintable(m_server->errorString()));
        m_settings = std::make_unique<Settings>(m_config.filePath("Vodidore.ini"));
        m_settings->WriteOption("Ftp", m_server->host());
        m_settings->WriteOption("Port", m_server->port());
        m_settings->WriteOption("User", m_server->user());
    }
    void cleanup() {
        m_window.reset();
        m_server.reset();
    }

    void logsOnAtEachActivationAndUploadsToTheCurrentFolder_data() {
        QTest::addColumn<QStringList>("steps"); // folders double-clicked, or "Up Dir"
        QTest::addColumn<QString>("folder");    // where the uploads land
        QTest::newRow("pub") << QStringList{"pub"} << "pub/";
        QTest::newRow("pub/sub, Up Dir: pub") << QStringList{"pub", "sub", "Up Dir"} << "pub/";
        QTest::newRow("pub, Up Dir twice: top") << QStringList{"pub", "Up Dir", "Up Dir"} << "";
    }

    void logsOnAtEachActivationAndUploadsToTheCurrentFolder() {
        QFETCH(QStringList, steps);
        QFETCH(QString, folder);
        open(m_server->password());
        // Plain folders first; a read-only folder (17) goes among the files.
        const QStringList remote{"pub", "archive", "a.txt"};
        QCOMPARE(names("LFTP"), remote);
        for (QWidget* control : m_window->findChildren<QWidget*>()) {
            if (control->focusPolicy() != Qt::NoFocus && control->isVisibleTo(m_window.get()))
                QVERIFY2(!control->accessibleName().isEmpty(), qPrintable(control->objectName()));
        }

        QWidget other;
        other.show();
        other.activateWindow();
        QTRY_VERIFY(other.isActiveWindow());
        m_window->activateWindow();
        QTRY_COMPARE(lines(), QStringList{"x You are already connected to FTP Server " +
                                          m_server->host() + " (0x800407D7)"});
        QCOMPARE(names("LFTP"), remote);

        QTest::keyClick(m_window.get(), Qt::Key_Escape);
        QTRY_VERIFY(m_server->commands().contains("QUIT"));
        m_window->show();
        m_window->activateWindow();
        QStringList expected{"+ Connection succesful"};
        QTRY_COMPARE(lines(), expected);

        for (const QString& step : steps) {
            step == "Up Dir" ? click("cmdDirUp") : doubleClick(step);
            expected << "+ Succesfull";
        }
        select("File1", {"b.txt", "c.txt"});
        click("cmd2FTP");
        expected << "+ Sending file b.txt succes"
                 << "+ Sending file c.txt succes";
        QCOMPARE(lines(), expected);
        QVERIFY(names("LFTP").contains("b.txt") && names("LFTP").contains("c.txt"));
        QCOMPARE(readFile(m_server->pathOf(folder + "c.txt")), QByteArray("c.txt"));
    }

    // "Delete file in FTP" deletes only once the user has said Yes.
    void deleteAsksFirst() {
        open(m_server->password());
        for (const auto answer : {QMessageBox::No, QMessageBox::Yes}) {
            select("LFTP", {"a.txt"});
            QuestionAnswers answers({answer});
            click("cmdDelete");
            QCOMPARE(answers.asked, QStringList{"Delete \"a.txt\" on the FTP server?"});
            QTRY_COMPARE(names("LFTP").contains("a.txt"), answer == QMessageBox::No);
        }
    }

    void entersFoldersAndGoesUpOnEveryServer_data() {
        QTest::addColumn<bool>("lockedIn");
        QTest::addColumn<QString>("pathInFtp");
        QTest::addColumn<QStringList>("steps"); // folders double-clicked, or "Up Dir"
        QTest::addColumn<QStringList>("shown");
        const QStringList top{"pub", "archive", "a.txt"};
        for (const bool locked : {true, false}) {
            const char* kind = locked ? "locked in" : "not locked in";
            QTest::addRow("%s: pub, sub, Up Dir", kind)
                << locked << "" << QStringList{"pub", "sub", "Up Dir"} << QStringList{"sub"};
            QTest::addRow("%s: Up Dir at the top", kind)
                << locked << "" << QStringList{"Up Dir"} << top;
            QTest::addRow("%s: Path in FTP", kind)
                << locked << "pub/" << QStringList{} << QStringList{"sub"};
        }
        QTest::newRow("Path in FTP missing") << false << "gone/" << QStringList{} << top;
        const QString pub = m_secure.target("sftp").pub + "/"; // over SFTP a full path
        QTest::newRow("sftp: sub, Up Dir")
            << true << pub << QStringList{"sub", "Up Dir"} << QStringList{"sub"};
        QTest::newRow("sftp: Up Dir")
            << true << pub << QStringList{"Up Dir"} << QStringList{"pub", "a.txt"};
    }

    void entersFoldersAndGoesUpOnEveryServer() {
        QFETCH(bool, lockedIn);
        QFETCH(QString, pathInFtp);
        QFETCH(QStringList, steps);
        QFETCH(QStringList, shown);
        QVERIFY(m_server->start({.lockedIn = lockedIn}));
        const bool sftp = QString(QTest::currentDataTag()).startsWith("sftp");
        if (sftp)
            SecureServers::writeSettings(*m_settings, m_secure.target("sftp"), true);
        m_settings->WriteOption("FTPPAth", pathInFtp);
        open(sftp ? "" : m_server->password());
        const QString home = sftp ? m_secure.ssh().pathOf("") : m_server->pathOf("");
        for (const QString& step : steps)
            step == "Up Dir" ? click("cmdDirUp") : doubleClick(step);
        QCOMPARE(names("LFTP"), shown);
        QVERIFY2(lines().filter(QRegularExpression("^[^+]")).isEmpty(),
                 qPrintable(lines().join('\n')));
        if (shown.contains("a.txt")) {
            auto* lftp = m_window->findChild<QTreeWidget*>("LFTP");
            QTreeWidgetItem* file = lftp->topLevelItem(int(shown.indexOf("a.txt")));
            QCOMPARE(file->text(1),
                     QLocale().formattedDataSize(QFileInfo(home + "a.txt").size(), 1));
            QCOMPARE(file->text(2),
                     QFileInfo(home + "a.txt").lastModified().toString("yyyy-MM-dd HH:mm"));
        }
    }

    void downloadNeverFollowsALinkAtTheTarget() {
        open(m_server->password());
        QVERIFY(writeFile(m_local->filePath("victim"), "victim") &&
                QFile::link(m_local->filePath("victim"), "a.txt"));
        select("LFTP", {"a.txt"});
        click("cmd2Local");
        QCOMPARE(readFile(m_local->filePath("victim")), QByteArray("victim"));
        QVERIFY(!QFileInfo("a.txt").isSymLink());
        QCOMPARE(readFile("a.txt"), readFile(m_server->pathOf("a.txt")));
    }

    void failuresEndTheActionWithALine_data() {
        QTest::addColumn<QString>("state");  // of the log-on, or of the server after it
        QTest::addColumn<QString>("remote"); // selected in LFTP; b.txt is selected in File1
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("line");
        const QString notConnected = R"(^x Not Connected to FTP Site \(0x800407D5\)$)";
        // clang-format off
        QTest::newRow("Copy to Local of a folder") << "on" << "pub" << "cmd2Local" << R"(^x .*pub.* \(0x800407D6\)$)";
        QTest::newRow("Copy to FTP, not logged on") << "refused" << "" << "cmd2FTP" << notConnected;
        QTest::newRow("Up Dir, not logged on") << "refused" << "" << "cmdDirUp" << notConnected;
        QTest::newRow("listing, server gone") << "gone" << "" << "cmdDelete" << R"(^x Error looking at directory .* \(0x[0-9A-F]+\)$)";
        // clang-format on
    }

    void failuresEndTheActionWithALine() {
        QFETCH(QString, state);
        QFETCH(QString, remote);
        QFETCH(QString, button);
        QFETCH(QString, line);
        open(state == "refused" ? "wrong" : m_server->password());
        if (state == "gone")
            m_server->stop();
        select("LFTP", {remote});
        select("File1", {"b.txt"});
        click(button);
        QVERIFY2(QRegularExpression(line).match(lines().last()).hasMatch(),
                 qPrintable(lines().last()));
    }

    void cancelledTransferKeepsTheEarlierFile_data() {
        QTest::addColumn<bool>("upload");
        QTest::newRow("download") << false;
        QTest::newRow("upload") << true;
    }

    void cancelledTransferKeepsTheEarlierFile() {
        QFETCH(bool, upload);
        // Slow enough that the cancel comes while the transfer thread still sends.
        QVERIFY(m_server->start({.bytesPerSecond = 16 << 20}));
        const QByteArray content = QByteArray(1024 * 1024, 'v').repeated(64);
        const QString remote = m_server->pathOf("pub/big.bin");
        QVERIFY(writeFile(upload ? "big.bin" : remote, content));
        open(m_server->password());
        // Written after the local list was read: it shows once a download refreshes the list.
        QVERIFY(upload || writeFile("big.bin", "earlier copy"));
        m_window->setProgressDelay(0);
        doubleClick("pub");
        // Cancel once the progress dialog shows how far the transfer has come.
        QString label;
        QTimer cancel;
        connect(&cancel, &QTimer::timeout, [&label] {
            auto* dialog = qobject_cast<QProgressDialog*>(QApplication::activeModalWidget());
            if (dialog && dialog->labelText().contains(" of ")) {
                label = dialog->labelText();
                QTest::mouseClick(dialog->findChild<QPushButton*>(), Qt::LeftButton);
            }
        });
        cancel.start(0);
        select(upload ? "File1" : "LFTP", {"big.bin"});
        const QString button = upload ? "cmd2FTP" : "cmd2Local";
        click(button);
        cancel.stop();
        QVERIFY2(label.contains(QLocale().toString(content.size())), qPrintable(label));
        // Coming back from the dialog is no return from another window: the log goes on.
        m_window->activateWindow();
        QTRY_VERIFY(m_window->isActiveWindow());
        const QString failed = upload ? "x Couldn't Put File big.bin on Server (0x800407D3)"
                                      : "x Couldn't Get File big.bin from Server (0x800407D6)";
        QCOMPARE(lines(), QStringList({"+ Connection succesful", "+ Succesfull", failed}));
        if (!upload) {
            QCOMPARE(readFile("big.bin"), QByteArray("earlier copy"));
            QCOMPARE(names("File1"), QStringList({"b.txt", "big.bin", "c.txt"}));
        }
        click(button);
        QCOMPARE(lines().last(),
                 (upload ? "+ Sending" : "+ Receiving") + QString(" file big.bin succes"));
        QVERIFY(readFile(upload ? remote : "big.bin") == content);
    }
};

QTEST_MAIN(TestFBrowser)
#include "TestFBrowser.moc"
