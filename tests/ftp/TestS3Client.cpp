#include "FtpTestSupport.h"
#include "S3Server.h"

#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

// cFTP against a real object store (s3rver): folders as key prefixes, uploads whole or not at
// all, and log-on failures told in words.
class TestS3Client : public QObject {
    Q_OBJECT

    S3Server m_server;
    QTemporaryDir m_dir;

    bool logOn(cFTP& ftp, const QString& user = QString()) {
        return ftp.Connect(m_server.address(), user.isEmpty() ? m_server.accessKey() : user,
                           m_server.secret());
    }

private slots:
    void init() { QVERIFY2(m_server.start(), qPrintable(m_server.errorString())); }

    // Each folder shows only what lies right under its prefix.
    void listing_data() {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QStringList>("shown"); // folders end in "/"
        QTest::newRow("prefix: not pubx/, not what is in sub/")
            << "pub" << QStringList{"a.zip", "sub/"};
        QTest::newRow("bucket root") << "/" << QStringList{"pub/", "pubx/", "top.zip"};
        QTest::newRow("Up Dir") << "/pub/sub/.." << QStringList{"a.zip", "sub/"};
        QTest::newRow("no such prefix") << "/none" << QStringList{};
    }
    void listing() {
        QFETCH(QString, folder);
        QFETCH(QStringList, shown);
        cFTP ftp;
        QVERIFY2(logOn(ftp), qPrintable(recorded()));
        QVERIFY(writeFile(m_dir.filePath("x"), "x"));
        for (const char* key : {"pub/a.zip", "pub/sub/b.zip", "pubx/c.zip", "top.zip"})
            QVERIFY2(ftp.PutFile(m_dir.filePath("x"), key, cFTP::Binary), qPrintable(recorded()));
        ftp.setDirectory(folder);
        QStringList names;
        for (const FtpListEntry& entry : ftp.ListEntries())
            names << entry.name + (entry.attributes == FtpAttribute::Folder ? "/" : "");
        names.sort();
        QCOMPARE(names.join(' '), shown.join(' '));
    }

    // An upload stands under its key whole, or the key is not there at all.
    void upload_data() {
        QTest::addColumn<int>("megabytes");
        QTest::addColumn<bool>("inParts");
        QTest::addColumn<bool>("stopHalfWay");
        QTest::addColumn<QStringList>("keys");
        QTest::newRow("one request") << 3 << false << false << QStringList{"up.bin"};
        QTest::newRow("in parts") << 20 << true << false << QStringList{"up.bin"};
        QTest::newRow("in parts, stopped half-way: no key, abort asked")
            << 20 << true << true << QStringList{};
    }
    void upload() {
        QFETCH(int, megabytes);
        QFETCH(bool, inParts);
        QFETCH(bool, stopHalfWay);
        QFETCH(QStringList, keys);
        const QByteArray data = QByteArray(megabytes << 20, 'v') + "end";
        QVERIFY(writeFile(m_dir.filePath("up.bin"), data));
        cFTP ftp;
        ftp.setMultipart(inParts ? 8 << 20 : 1LL << 40, 8 << 20);
        QVERIFY(logOn(ftp));
        ftp.setTransferProgress(
            [&](qint64 done, qint64 total) { return !stopHalfWay || done < total / 2; });
        QCOMPARE(ftp.PutFile(m_dir.filePath("up.bin"), "up.bin", cFTP::Binary), !stopHalfWay);
        QCOMPARE(m_server.keys(), keys);
        if (stopHalfWay) {
            // s3rver cannot abort (405): the parts stay there, and the failure says so.
            QVERIFY2(QRegularExpression("\\?uploadId=\\w+ 405").match(m_server.output()).hasMatch(),
                     m_server.output().right(3000).constData());
            QVERIFY2(recorded().contains("they may be left there"), qPrintable(recorded()));
            return;
        }
        QCOMPARE(m_server.openUploads(), 0);
        ftp.setTransferProgress({});
        QVERIFY(ftp.GetFile("up.bin", m_dir.filePath("back.bin"), cFTP::Binary));
        QVERIFY(readFile(m_dir.filePath("back.bin")) == data);
    }

    // A refused log-on names the cause; the secret shows nowhere.
    void logOnRefused_data() {
        QTest::addColumn<QString>("user");
        QTest::addColumn<QString>("bucket");
        QTest::addColumn<QString>("secret");
        QTest::addColumn<QString>("told");
        const QString right = m_server.secret();
        QTest::newRow("unknown access key")
            << "NOBODY"
            << "backups" << right << "refused the log-on: it does not know the access key";
        QTest::newRow("wrong secret") << ""
                                      << "backups"
                                      << "Other-Value-7"
                                      << "refused the log-on: the secret key does not belong";
        QTest::newRow("missing bucket") << ""
                                        << "nob" << right << "The bucket nob does not exist";
        QTest::newRow("no bucket") << ""
                                   << "" << right << "The address names no bucket";
    }
    void logOnRefused() {
        QFETCH(QString, user);
        QFETCH(QString, bucket);
        QFETCH(QString, secret);
        QFETCH(QString, told);
        cFTP ftp;
        const QString address =
            QStringLiteral("s3+http://127.0.0.1:%1/%2").arg(m_server.port()).arg(bucket);
        QVERIFY(!ftp.Connect(address, user.isEmpty() ? m_server.accessKey() : user, secret));
        QCOMPARE(CurrentError().number, FtpError::LogOnFailed);
        QVERIFY2(CurrentError().description.contains(told), qPrintable(recorded()));
        QVERIFY(!(recorded() + m_server.output()).contains(secret.toUtf8()));
    }
};

QTEST_GUILESS_MAIN(TestS3Client)
#include "TestS3Client.moc"
