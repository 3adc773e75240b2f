#include "QuestionAnswers.h"
#include "S3Server.h"
#include "TestFiles.h"
#include "store/Settings.h"
#include "ui/explorer/FBrowser.h"

#include <QAbstractItemView>
#include <QPushButton>
#include <QtTest>

// The explorer on a bucket: the prefix's "folders", copies both ways, delete, Up Dir.
class TestFBrowserS3 : public QObject {
    Q_OBJECT

    QTemporaryDir m_local;
    S3Server m_server;

    QStringList remote(FBrowser& window) const {
        QAbstractItemView* view = window.findChild<QAbstractItemView*>("LFTP");
        QStringList out;
        for (int i = 0; i < view->model()->rowCount(); ++i)
            out << view->model()->index(i, 0).data().toString();
        return out;
    }
    void click(FBrowser& window, const char* button) {
        QTest::mouseClick(window.findChild<QPushButton*>(button), Qt::LeftButton);
    }

private slots:
    void steps_data() {
        QTest::addColumn<QStringList>("steps"); // "Up Dir", or a file selected in LFTP and
                                                // "down" (copy to local) or "delete"
        QTest::addColumn<QStringList>("shown");
        QTest::addColumn<QStringList>("keys");
        const QStringList all{"pub/a.zip", "pub/sub/b.zip", "pubx/c.zip"};
        QTest::newRow("the prefix, not pubx/")
            << QStringList() << QStringList{"sub", "a.zip"} << all;
        QTest::newRow("Up Dir: the bucket")
            << QStringList{"Up Dir"} << QStringList{"pub", "pubx"} << all;
        QTest::newRow("copy to local")
            << QStringList{"a.zip", "down"} << QStringList{"sub", "a.zip"} << all;
        QTest::newRow("delete") << QStringList{"a.zip", "delete"} << QStringList{"sub"}
                                << QStringList{"pub/sub/b.zip", "pubx/c.zip"};
    }
    void steps() {
        QFETCH(QStringList, steps);
        QFETCH(QStringList, shown);
        QFETCH(QStringList, keys);
        QVERIFY2(m_server.start(), qPrintable(m_server.errorString()));
        QDir::setCurrent(m_local.path());
        QVERIFY(writeFile("a.zip", "archive a"));
        Settings settings(m_local.filePath("Vodidore.ini"));
        settings.WriteOption("Ftp", m_server.address());
        settings.WriteOption("User", m_server.accessKey());
        settings.WriteOption("Passw", m_server.secret());
        settings.WriteOption("FTPPAth", "pub");
        cFTP ftp;
        QVERIFY(ftp.Connect(m_server.address(), m_server.accessKey(), m_server.secret()));
        for (const char* key : {"pub/a.zip", "pub/sub/b.zip", "pubx/c.zip"})
            QVERIFY(ftp.PutFile("a.zip", key, cFTP::Binary));
        QVERIFY(QFile::remove("a.zip"));
        FBrowser window(settings, [] { return std::make_unique<cFTP>(); });
        window.show();
        window.activateWindow();
        QTRY_COMPARE(remote(window), (QStringList{"sub", "a.zip"}));
        QuestionAnswers answers({QMessageBox::Yes});
        for (const QString& step : steps) {
            auto* view = window.findChild<QAbstractItemView*>("LFTP");
            if (step == "Up Dir")
                click(window, "cmdDirUp");
            else if (step == "down")
                click(window, "cmd2Local");
            else if (step == "delete")
                click(window, "cmdDelete");
            else
                view->setCurrentIndex(view->model()->index(int(remote(window).indexOf(step)), 0));
        }
        QTRY_COMPARE(remote(window), shown);
        QCOMPARE(m_server.keys(), keys);
        QCOMPARE(readFile("a.zip"), QByteArray(steps.contains("down") ? "archive a" : ""));
    }
};

QTEST_MAIN(TestFBrowserS3)
#include "TestFBrowserS3.moc"
