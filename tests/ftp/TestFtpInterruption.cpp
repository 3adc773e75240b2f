#include "FtpTestSupport.h"

#include <QtTest>

// A server that goes away in the middle of an upload.
class TestFtpInterruption : public QObject {
    Q_OBJECT

private slots:
    void serverStoppedDuringUpload() {
        constexpr qint64 LargeSize = 48 * 1024 * 1024;
        QTemporaryDir local;
        const QString large = local.filePath("large.bin");
        QByteArray block(1024 * 1024, '\0');
        for (qsizetype i = 0; i < block.size(); ++i)
            block[i] = static_cast<char>((i * 7919) >> 3);
        QVERIFY(writeFile(large, block.repeated(LargeSize / block.size())));

        FtpServer server;
        const FtpServer::Options stopping{.stopAfterBytes = 40 * 1024 * 1024};
        QVERIFY2(server.start(stopping), qPrintable(server.errorString()));
        {
            cFTP ftp;
            QVERIFY(logOn(ftp, server));
            bool sent = true;
            QVERIFY(!raisedBy([&] { sent = ftp.PutFile(large, "pub/large.bin"); }));
            QVERIFY(!sent);
            QVERIFY2(
                recorded().startsWith("800407d3 Couldn't Put File pub/large.bin on Server\r\n"),
                qPrintable(recorded()));
            // The object still believes it is connected; its next call fails through the library.
            QVERIFY(!ftp.DeleteFile("pub/large.bin"));
            ftp.Disconnect();
        }
        // Back on the same port: a new object logs on and the upload goes through.
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        cFTP again;
        QVERIFY(logOn(again, server));
        QVERIFY(again.PutFile(large, "pub/large.bin", cFTP::Binary));
        QVERIFY(readFile(server.pathOf("pub/large.bin")) == readFile(large));
    }
};

QTEST_GUILESS_MAIN(TestFtpInterruption)
#include "TestFtpInterruption.moc"
