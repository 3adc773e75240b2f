#include "FtpServer.h"
#include "backup/EventLog.h"
#include "store/Settings.h"
#include "ui/events/ListViewLog.h"
#include "ui/explorer/FBrowser.h"

#include <QListWidget>
#include <QProgressDialog>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QtTest>

// Cancels every progress dialog as soon as it shows, the way a user clicks Cancel.
class CancelOnShow : public QObject {
public:
    bool seen = false;
    bool eventFilter(QObject* watched, QEvent* event) override {
        auto* dialog = qobject_cast<QProgressDialog*>(watched);
        if (dialog && event->type() == QEvent::Show) {
            seen = true;
            QTimer::singleShot(0, dialog, [dialog] {
                QTest::mouseClick(dialog->findChild<QPushButton*>(), Qt::LeftButton);
            });
        }
        return false;
    }
};

// The FTP explorer against a real server whose home holds pub/sub, a read-only folder
// "archive" and a.txt; the local side starts in a folder with b.txt and c.txt.
class TestFBrowser : public QObject {
    Q_OBJECT

    std::unique_ptr<FtpServer> m_server;
    QTemporaryDir m_config;
    std::unique_ptr<QTemporaryDir> m_local;
    std::unique_ptr<Settings> m_settings;
    std::unique_ptr<FBrowser> m_window;
    cFTP* m_client = nullptr;

    QString local(const QString& name) const { return m_local->filePath(name); }
    QListWidget* list(const char* name) const { return m_window->findChild<QListWidget*>(name); }
    QStringList names(const char* name) const {
        QStringList out;
        for (int i = 0; i < list(name)->count(); ++i)
            out << list(name)->item(i)->text();
        return out;
    }
    // Log lines as "+ text" (check mark), "x text" (red cross) or "? text".
    QStringList lines() const {
        auto* lv = m_window->findChild<QTreeWidget*>("LV");
        QStringList out;
        for (int i = 0; i < lv->topLevelItemCount(); ++i) {
            const qint64 icon = lv->topLevelItem(i)->icon(0).cacheKey();
            const char* mark = icon == eventLogIcon(IconSuccess).cacheKey()   ? "+ "
                               : icon == eventLogIcon(IconFailure).cacheKey() ? "x "
                                                                              : "? ";
            out << mark + lv->topLevelItem(i)->text(0);
        }
        return out;
    }
    void select(const char* name, const QStringList& entries) {
        list(name)->clearSelection();
        for (int i = 0; i < list(name)->count(); ++i)
            list(name)->item(i)->setSelected(entries.contains(list(name)->item(i)->text()));
    }
    void click(const char* button) {
        QTest::mouseClick(m_window->findChild<QPushButton*>(button), Qt::LeftButton);
    }
    void doubleClick(const QString& entry) {
        QListWidget* lftp = list("LFTP");
        const QPoint centre =
            lftp->visualItemRect(lftp->findItems(entry, Qt::MatchExactly)[0]).center();
        QTest::mouseClick(lftp->viewport(), Qt::LeftButton, {}, centre);
        QTest::mouseDClick(lftp->viewport(), Qt::LeftButton, {}, centre);
    }
    void open(const QString& password) {
        m_settings->WriteOption("Passw", password);
        m_window = std::make_unique<FBrowser>(*m_settings, [this] {
            auto client = std::make_unique<cFTP>();
            m_client = client.get();
            return client;
        });
        m_window->show();
        m_window->activateWindow();
        QTRY_VERIFY(!lines().isEmpty());
    }

private slots:
    void init() {
        // The server starts in the current folder, which must outlive it.
        m_local = std::make_unique<QTemporaryDir>();
        QDir::setCurrent(m_local->path());
        for (const char* name : {"b.txt", "c.txt"}) {
            QFile file(local(name));
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(name) > 0);
        }
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

    void logsOnAtEachActivationAndOffWhenClosed() {
        open(m_server->password());
        QCOMPARE(lines(), QStringList{"+ Connection succesful"});
        // Plain folders first; a read-only folder (17) goes among the files.
        const QStringList remote{"pub", "archive", "a.txt"};
        QCOMPARE(names("LFTP"), remote);
        QCOMPARE(names("File1"), QStringList({"b.txt", "c.txt"}));

        QWidget other;
        other.show();
        other.activateWindow();
        QTRY_VERIFY(other.isActiveWindow());
        m_window->activateWindow();
        const QString again =
            "x You are already connected to FTP Server " + m_server->host() + " (0x800407D7)";
        QTRY_COMPARE(lines(), QStringList{again});
        QCOMPARE(names("LFTP"), remote);

        QTest::keyClick(m_window.get(), Qt::Key_Escape);
        QVERIFY(!m_window->isVisible());
        QVERIFY(!m_client->Connected());
        QTRY_VERIFY(m_server->commands().contains("QUIT"));
        m_window->show();
        m_window->activateWindow();
        QTRY_COMPARE(lines(), QStringList{"+ Connection succesful"});
    }

    void uploadsGoToTheCurrentRemoteFolder_data() {
        QTest::addColumn<QStringList>("steps"); // folders double-clicked, or "Up Dir"
        QTest::addColumn<QString>("folder");    // where the uploads land
        QTest::addColumn<QString>("directory"); // the client's folder as the window set it
        QTest::newRow("log-on folder") << QStringList{} << ""
                                       << "";
        QTest::newRow("pub") << QStringList{"pub"} << "pub/"
                             << "/pub";
        QTest::newRow("pub, Up Dir") << QStringList{"pub", "Up Dir"} << ""
                                     << "\\";
        QTest::newRow("pub/sub, Up Dir: root, not parent")
            << QStringList{"pub", "sub", "Up Dir"} << ""
            << "\\";
        QTest::newRow("Up Dir, pub") << QStringList{"Up Dir", "pub"} << "pub/"
                                     << "\\/pub";
    }

    void uploadsGoToTheCurrentRemoteFolder() {
        QFETCH(QStringList, steps);
        QFETCH(QString, folder);
        QFETCH(QString, directory);
        open(m_server->password());
        QStringList expected{"+ Connection succesful"};
        for (const QString& step : steps) {
            if (step == "Up Dir")
                click("cmdDirUp");
            else
                doubleClick(step);
            expected << "+ Succesfull";
        }
        select("File1", {"b.txt", "c.txt"});
        click("cmd2FTP");
        QCOMPARE(lines(), expected << "+ Sending file b.txt succes"
                                   << "+ Sending file c.txt succes");
        QCOMPARE(m_client->Directory(), directory);
        QVERIFY(names("LFTP").contains("b.txt") && names("LFTP").contains("c.txt"));
        QFile sent(m_server->pathOf(folder + "c.txt"));
        QVERIFY(sent.open(QIODevice::ReadOnly));
        QCOMPARE(sent.readAll(), QByteArray("c.txt"));
    }

    void failuresEndTheActionWithALine_data() {
        QTest::addColumn<bool>("logOn");
        QTest::addColumn<bool>("serverGone");
        QTest::addColumn<QString>("remote"); // selected in LFTP
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("line");
        QTest::newRow("Copy to Local of a folder") << true << false << "pub"
                                                   << "cmd2Local"
                                                   << R"(^x .*pub.* \(0x800407D6\)$)";
        QTest::newRow("Copy to FTP, not logged on")
            << false << false << ""
            << "cmd2FTP"
            << R"(^x Not Connected to FTP Site \(0x800407D5\)$)";
        QTest::newRow("Up Dir, not logged on") << false << false << ""
                                               << "cmdDirUp"
                                               << R"(^x Not Connected to FTP Site \(0x800407D5\)$)";
        QTest::newRow("listing, server gone")
            << true << true << ""
            << "cmdDelete"
            << R"(^x Error looking at directory .* \(0x[0-9A-F]+\)$)";
    }

    void failuresEndTheActionWithALine() {
        QFETCH(bool, logOn);
        QFETCH(bool, serverGone);
        QFETCH(QString, remote);
        QFETCH(QString, button);
        QFETCH(QString, line);
        open(logOn ? m_server->password() : "wrong");
        QCOMPARE(lines().first().startsWith("+"), logOn);
        if (serverGone)
            m_server->stop();
        select("LFTP", {remote});
        select("File1", {"b.txt"});
        click(qPrintable(button));
        QVERIFY2(QRegularExpression(line).match(lines().last()).hasMatch(),
                 qPrintable(lines().last()));
        QCOMPARE(QDir(m_local->path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
                 QStringList({"b.txt", "c.txt"}));
    }

    void cancelledDownloadKeepsTheEarlierFile() {
        const QByteArray content = QByteArray(1024 * 1024, 'v').repeated(32);
        QFile big(m_server->pathOf("pub/big.bin"));
        QVERIFY(big.open(QIODevice::WriteOnly) && big.write(content) == content.size());
        big.close();
        QFile earlier(local("big.bin"));
        QVERIFY(earlier.open(QIODevice::WriteOnly) && earlier.write("earlier copy") > 0);
        earlier.close();
        open(m_server->password());
        m_window->setProgressDelay(0);
        doubleClick("pub");
        CancelOnShow cancel;
        qApp->installEventFilter(&cancel);
        select("LFTP", {"big.bin"});
        click("cmd2Local");
        qApp->removeEventFilter(&cancel);
        QVERIFY(cancel.seen);
        // The log goes on: closing the dialog is no return from another window.
        QCOMPARE(lines(), QStringList({"+ Connection succesful", "+ Succesfull",
                                       "x Couldn't Get File big.bin from Server (0x800407D6)"}));
        QVERIFY(earlier.open(QIODevice::ReadOnly));
        QCOMPARE(earlier.readAll(), QByteArray("earlier copy"));
        earlier.close();
        QCOMPARE(names("File1"), QStringList({"b.txt", "big.bin", "c.txt"}));

        click("cmd2Local");
        QCOMPARE(lines().last(), "+ Receiving file big.bin succes");
        QVERIFY(earlier.open(QIODevice::ReadOnly));
        QVERIFY(earlier.readAll() == content);
    }

    void everyControlHasAnAccessibleName() {
        open(m_server->password());
        for (QWidget* control : m_window->findChildren<QWidget*>()) {
            if (control->focusPolicy() != Qt::NoFocus && control->isVisibleTo(m_window.get()))
                QVERIFY2(!control->accessibleName().isEmpty(), qPrintable(control->objectName()));
        }
    }
};

QTEST_MAIN(TestFBrowser)
#include "TestFBrowser.moc"
