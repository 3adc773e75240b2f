#include "FtpTestSupport.h"

#include <QtTest>

// The progress hook: what it is told of downloads and uploads, and how it stops them.
class TestFtpProgress : public QObject {
    Q_OBJECT

private slots:
    void hookFollowsAndStopsTransfers_data() {
        QTest::addColumn<bool>("upload");
        QTest::addColumn<bool>("stop");
        QTest::addColumn<QString>("error");
        QTest::newRow("download") << false << false << "0";
        QTest::newRow("download stopped") << false << true << hex(FtpError::GetFailed);
        QTest::newRow("upload") << true << false << "0";
        QTest::newRow("upload stopped") << true << true << hex(FtpError::PutOrRenameFailed);
    }

    void hookFollowsAndStopsTransfers() {
        QFETCH(bool, upload);
        QFETCH(bool, stop);
        QFETCH(QString, error);
        const QByteArray content = QByteArray(1024 * 1024, 'p').repeated(16);
        QTemporaryDir local;
        FtpServer server;
        QVERIFY(
            writeFile(upload ? local.filePath("big.bin") : server.pathOf("pub/big.bin"), content));
        QVERIFY2(server.start(), qPrintable(server.errorString()));
        cFTP ftp;
        QVERIFY(logOn(ftp, server));

        QList<std::pair<qint64, qint64>> told;
        ftp.setTransferProgress([&](qint64 done, qint64 total) {
            told.append({done, total});
            return !stop || done == 0;
        });
        const QString target = local.filePath(upload ? "big.bin" : "copy.bin");
        const bool moved = upload ? ftp.PutFile(target, "pub/big.bin", cFTP::Binary)
                                  : ftp.GetFile("pub/big.bin", target, cFTP::Binary);
        QCOMPARE(moved, !stop);
        QCOMPARE(hex(CurrentError().number), error);
        QVERIFY(!told.isEmpty());
        const auto last = told.last();
        QCOMPARE(last.second, content.size());
        // libcurl reports after up to a hundred reads, so a stopped transfer may have had it all.
        if (!stop)
            QCOMPARE(last.first, content.size());
        if (!upload)
            QCOMPARE(QFileInfo::exists(target), !stop);

        // A stopped transfer leaves a client that goes on working, and no hook once removed.
        ftp.setTransferProgress({});
        told.clear();
        QVERIFY(ftp.GetFile("a.txt", local.filePath("a.txt"), cFTP::Binary));
        QVERIFY(told.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestFtpProgress)
#include "TestFtpProgress.moc"
