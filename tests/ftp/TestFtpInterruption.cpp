#include "FtpTestSupport.h"

#include <QtTest>

// A server that goes away in the middle of a transfer.
class TestFtpInterruption : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void serverStoppedDuringUpload();
    void serverStoppedDuringDownload();

private:
    static constexpr qint64 LargeSize = 48 * 1024 * 1024;
    static constexpr qint64 StopAfter = 4 * 1024 * 1024;

    QTemporaryDir m_local;
    QString m_large;
};

void TestFtpInterruption::initTestCase() {
    m_large = m_local.filePath(QStringLiteral("large.bin"));
    QByteArray block(1024 * 1024, '\0');
    for (qsizetype i = 0; i < block.size(); ++i)
        block[i] = static_cast<char>((i * 7919) >> 3);
    QFile file(m_large);
    QVERIFY(file.open(QIODevice::WriteOnly));
    for (qint64 written = 0; written < LargeSize; written += block.size())
        QCOMPARE(file.write(block), block.size());
}

void TestFtpInterruption::serverStoppedDuringUpload() {
    FtpServer server;
    FtpServer::Options options;
    options.stopAfterBytes = StopAfter;
    QVERIFY2(server.start(options), qPrintable(server.errorString()));
    {
        cFTP ftp;
        QVERIFY(logOn(ftp, server));
        bool sent = true;
        QVERIFY(!raisedBy([&] { sent = ftp.PutFile(m_large, QStringLiteral("pub/large.bin")); }));
        QVERIFY(!sent);
        QCOMPARE(hex(CurrentError().number), hex(FtpError::PutOrRenameFailed));
        QVERIFY2(CurrentError().description.startsWith(
                     QStringLiteral("Couldn't Put File pub/large.bin on Server\r\n")),
                 qPrintable(CurrentError().description));
        // The object still believes it is connected; its next call fails through the library.
        QVERIFY(ftp.Connected());
        QVERIFY(!ftp.DeleteFile(QStringLiteral("pub/large.bin")));
        ftp.Disconnect();
    }
    // Back on the same port: a new object logs on and the upload goes through.
    QVERIFY2(server.start(), qPrintable(server.errorString()));
    cFTP again;
    QVERIFY(logOn(again, server));
    QVERIFY(again.PutFile(m_large, QStringLiteral("pub/large.bin"), cFTP::Binary));
    QCOMPARE(QFileInfo(server.pathOf(QStringLiteral("pub/large.bin"))).size(), LargeSize);
}

void TestFtpInterruption::serverStoppedDuringDownload() {
    FtpServer server;
    QVERIFY(QFile::copy(m_large, server.pathOf(QStringLiteral("pub/large.bin"))));
    FtpServer::Options options;
    options.stopAfterBytes = StopAfter;
    QVERIFY2(server.start(options), qPrintable(server.errorString()));
    const QString target = m_local.filePath(QStringLiteral("download.bin"));
    QVERIFY(writeAll(target, "earlier copy"));
    cFTP ftp;
    QVERIFY(logOn(ftp, server));
    QVERIFY(!ftp.GetFile(QStringLiteral("pub/large.bin"), target, cFTP::Binary));
    QCOMPARE(hex(CurrentError().number), hex(FtpError::GetFailed));
    // No truncated file in place of the earlier copy.
    QCOMPARE(readAll(target), QByteArray("earlier copy"));
    QCOMPARE(QDir(m_local.path()).entryList(QDir::Files),
             (QStringList{QStringLiteral("download.bin"), QStringLiteral("large.bin")}));
}

QTEST_GUILESS_MAIN(TestFtpInterruption)
#include "TestFtpInterruption.moc"
