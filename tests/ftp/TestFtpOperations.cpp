#include "FtpTestSupport.h"

#include <QDir>
#include <QtTest>
#include <functional>

// Transfers, rename, delete and the remote folder of cFTP against a real server.
class TestFtpOperations : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void operationsWhileNotConnectedRaise_data();
    void operationsWhileNotConnectedRaise();
    void listingWhileNotConnectedRecords();
    void binaryTransfersKeepEveryByte_data();
    void binaryTransfersKeepEveryByte();
    void transferTypeSetsTheWireMode_data();
    void transferTypeSetsTheWireMode();
    void getFileOverwritesLocalFile();
    void failedDownloadLeavesLocalFileAlone();
    void putFileFailuresRecordWithReply();
    void relativeNamesFollowCurrentFolder();
    void directoryChangesFollowTheServer_data();
    void directoryChangesFollowTheServer();
    void refusedDirectoryKeepsOldValue();
    void folderRemovedMeanwhileIsNoticed();
    void emptyDirectoryIsStoredWithoutAsking();
    void deleteFile();
    void deleteMissingFileRecords();
    void renameFile();
    void renameMissingFileRaises();
    void namesWithLineBreaksAreNotSent();

private:
    FtpServer m_server;
    QString local(const QString& name) const { return m_local->filePath(name); }

    std::unique_ptr<QTemporaryDir> m_local;
    std::unique_ptr<cFTP> m_ftp;
};

void TestFtpOperations::initTestCase() {
    QVERIFY2(m_server.start(), qPrintable(m_server.errorString()));
}

void TestFtpOperations::init() {
    m_local = std::make_unique<QTemporaryDir>();
    m_ftp = std::make_unique<cFTP>();
    QVERIFY(logOn(*m_ftp, m_server));
}

void TestFtpOperations::cleanup() {
    m_ftp.reset();
    // Each test starts from the home with only pub (empty) and a.txt.
    emptyFolder(m_server.pathOf(QStringLiteral("pub")));
}

void TestFtpOperations::operationsWhileNotConnectedRaise_data() {
    QTest::addColumn<QString>("source");
    QTest::addColumn<std::function<void(cFTP&)>>("operation");
    const QString name = QStringLiteral("a.txt");
    QTest::newRow("GetFile") << QStringLiteral("KivoFTP::GetFile")
                             << std::function<void(cFTP&)>(
                                    [=](cFTP& f) { f.GetFile(name, QStringLiteral("/tmp/x")); });
    QTest::newRow("PutFile") << QStringLiteral("KivoFTP::PutFile")
                             << std::function<void(cFTP&)>([=](cFTP& f) {
                                    f.PutFile(QStringLiteral("/etc/hostname"), name);
                                });
    QTest::newRow("RenameFile") << QStringLiteral("KivoFTP::RenameFile")
                                << std::function<void(cFTP&)>(
                                       [=](cFTP& f) { f.RenameFile(name, QStringLiteral("b")); });
    QTest::newRow("DeleteFile") << QStringLiteral("KivoFTP::DeleteFile")
                                << std::function<void(cFTP&)>([=](cFTP& f) { f.DeleteFile(name); });
    QTest::newRow("Directory") << QStringLiteral("KivoFTP::Directory_Let")
                               << std::function<void(cFTP&)>(
                                      [=](cFTP& f) { f.setDirectory(QStringLiteral("pub")); });
}

void TestFtpOperations::operationsWhileNotConnectedRaise() {
    QFETCH(QString, source);
    QFETCH(std::function<void(cFTP&)>, operation);
    cFTP ftp;
    const auto error = raisedBy([&] { operation(ftp); });
    QVERIFY(error);
    QCOMPARE(hex(error->number()), hex(FtpError::NotConnected));
    QCOMPARE(error->source(), source);
    QCOMPARE(error->description(), QStringLiteral("Not Connected to FTP Site"));
    QVERIFY(QFile::exists(m_server.pathOf(QStringLiteral("a.txt"))));
}

void TestFtpOperations::listingWhileNotConnectedRecords() {
    cFTP ftp;
    QString listing = QStringLiteral("unset");
    QVERIFY(!raisedBy([&] { listing = ftp.GetDirectoryList(); }));
    QCOMPARE(listing, QString());
    QCOMPARE(hex(CurrentError().number), hex(FtpError::NotConnected));
    QCOMPARE(CurrentError().description, QStringLiteral("Not Connected to FTP Site"));
}

void TestFtpOperations::binaryTransfersKeepEveryByte_data() {
    QTest::addColumn<int>("type");
    QTest::newRow("binary") << 2;
    QTest::newRow("unknown (PutFile's default) is binary") << 0;
}

void TestFtpOperations::binaryTransfersKeepEveryByte() {
    QFETCH(int, type);
    // Every byte value, and line ends of each kind that a text transfer would rewrite.
    QByteArray bytes;
    for (int round = 0; round < 3000; ++round) {
        for (int b = 0; b < 256; ++b)
            bytes.append(static_cast<char>(b));
        bytes.append("\r\n\n\r\r\n");
    }
    const QString sent = local(QStringLiteral("sent.bin"));
    const QString back = local(QStringLiteral("back.bin"));
    QVERIFY(writeAll(sent, bytes));
    QVERIFY(m_ftp->PutFile(sent, QStringLiteral("pub/data.bin"), type));
    QCOMPARE(readAll(m_server.pathOf(QStringLiteral("pub/data.bin"))), bytes);
    QVERIFY(m_ftp->GetFile(QStringLiteral("pub/data.bin"), back, type == 0 ? 2 : type));
    QCOMPARE(readAll(back), bytes);
}

void TestFtpOperations::transferTypeSetsTheWireMode_data() {
    QTest::addColumn<bool>("upload");
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("mode");
    QTest::newRow("put ASCII") << true << 1 << QStringLiteral("TYPE A");
    QTest::newRow("put binary") << true << 2 << QStringLiteral("TYPE I");
    QTest::newRow("put unknown") << true << 0 << QStringLiteral("TYPE I");
    QTest::newRow("get ASCII") << false << 1 << QStringLiteral("TYPE A");
    QTest::newRow("get binary") << false << 2 << QStringLiteral("TYPE I");
}

void TestFtpOperations::transferTypeSetsTheWireMode() {
    QFETCH(bool, upload);
    QFETCH(int, type);
    QFETCH(QString, mode);
    // Text of this platform (LF line ends) arrives unchanged in either mode.
    const QByteArray text("one\ntwo\n");
    const QString file = local(QStringLiteral("text.txt"));
    QVERIFY(writeAll(upload ? file : m_server.pathOf(QStringLiteral("pub/text.txt")), text));
    QVERIFY(upload ? m_ftp->PutFile(file, QStringLiteral("pub/text.txt"), type)
                   : m_ftp->GetFile(QStringLiteral("pub/text.txt"), file, type));
    QCOMPARE(readAll(upload ? m_server.pathOf(QStringLiteral("pub/text.txt")) : file), text);
    const QStringList sent = m_server.commands();
    const QString transfer =
        upload ? QStringLiteral("STOR /pub/text.txt") : QStringLiteral("RETR /pub/text.txt");
    const qsizetype at = sent.lastIndexOf(transfer);
    QVERIFY(at > 0);
    QCOMPARE(sent.mid(0, at).filter(QRegularExpression(QStringLiteral("^TYPE "))).last(), mode);
}

void TestFtpOperations::getFileOverwritesLocalFile() {
    const QString target = local(QStringLiteral("overwritten.txt"));
    QVERIFY(writeAll(target, QByteArray(5000, 'x')));
    QVERIFY(m_ftp->GetFile(QStringLiteral("a.txt"), target, cFTP::Binary));
    QCOMPARE(readAll(target), readAll(m_server.pathOf(QStringLiteral("a.txt"))));
    QCOMPARE(QDir(m_local->path()).entryList(QDir::Files | QDir::Hidden),
             QStringList{QStringLiteral("overwritten.txt")});
}

void TestFtpOperations::failedDownloadLeavesLocalFileAlone() {
    const QString kept = local(QStringLiteral("kept.txt"));
    const QString absent = local(QStringLiteral("absent.txt"));
    QVERIFY(writeAll(kept, "precious"));
    QVERIFY(!m_ftp->GetFile(QStringLiteral("missing.bin"), kept));
    QCOMPARE(hex(CurrentError().number), hex(FtpError::GetFailed));
    QCOMPARE(CurrentError().description,
             QStringLiteral("Couldn't Get File missing.bin from Server"));
    QCOMPARE(readAll(kept), QByteArray("precious"));
    QVERIFY(!m_ftp->GetFile(QStringLiteral("missing.bin"), absent));
    QVERIFY(!QFile::exists(absent));
    QCOMPARE(QDir(m_local->path()).entryList(QDir::Files), QStringList{QStringLiteral("kept.txt")});
}

void TestFtpOperations::putFileFailuresRecordWithReply() {
    const QString file = local(QStringLiteral("up.bin"));
    QVERIFY(writeAll(file, "data"));
    // Refused by the server: its reply follows the message.
    QVERIFY(!m_ftp->PutFile(file, QStringLiteral("no-such-folder/up.bin"), cFTP::Binary));
    QCOMPARE(hex(CurrentError().number), hex(FtpError::PutOrRenameFailed));
    const QString refused = CurrentError().description;
    QVERIFY2(refused.startsWith(
                 QStringLiteral("Couldn't Put File no-such-folder/up.bin on Server\r\n550 ")),
             qPrintable(refused));
    QVERIFY(refused.endsWith(QStringLiteral("\r\n")));
    // Nothing to send: no reply to quote.
    QVERIFY(!m_ftp->PutFile(local(QStringLiteral("none.bin")), QStringLiteral("x.bin")));
    QCOMPARE(hex(CurrentError().number), hex(FtpError::PutOrRenameFailed));
    QCOMPARE(CurrentError().description, QStringLiteral("Couldn't Put File x.bin on Server\r\n"));
}

void TestFtpOperations::relativeNamesFollowCurrentFolder() {
    const QString file = local(QStringLiteral("rel.bin"));
    QVERIFY(writeAll(file, "relative"));
    m_ftp->setDirectory(QStringLiteral("pub"));
    QVERIFY(m_ftp->PutFile(file, QStringLiteral("rel.bin"), cFTP::Binary));
    QCOMPARE(readAll(m_server.pathOf(QStringLiteral("pub/rel.bin"))), QByteArray("relative"));
    QVERIFY(m_ftp->GetFile(QStringLiteral("rel.bin"), local(QStringLiteral("got.bin"))));
    QCOMPARE(readAll(local(QStringLiteral("got.bin"))), QByteArray("relative"));
    QVERIFY(m_ftp->DeleteFile(QStringLiteral("rel.bin")));
    QVERIFY(!QFile::exists(m_server.pathOf(QStringLiteral("pub/rel.bin"))));
    // Absolute names ignore the current folder.
    QVERIFY(m_ftp->GetFile(QStringLiteral("/a.txt"), local(QStringLiteral("abs.txt"))));
}

void TestFtpOperations::directoryChangesFollowTheServer_data() {
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QString>("listing");
    const QString root = QStringLiteral("pub@@16||a.txt@@128");
    const QString pub = QStringLiteral("inner@@16");
    QTest::newRow("backslash is the root")
        << QStringList{QStringLiteral("pub"), QStringLiteral("\\")} << root;
    QTest::newRow("double slash is absolute")
        << QStringList{QStringLiteral("pub"), QStringLiteral("//pub")} << pub;
    QTest::newRow("backslash and slash") << QStringList{QStringLiteral("\\/pub")} << pub;
    QTest::newRow("relative steps deeper")
        << QStringList{QStringLiteral("pub"), QStringLiteral("inner")} << QString();
    QTest::newRow("parent") << QStringList{QStringLiteral("pub/inner"), QStringLiteral("..")}
                            << pub;
}

void TestFtpOperations::directoryChangesFollowTheServer() {
    QFETCH(QStringList, steps);
    QFETCH(QString, listing);
    QVERIFY(QDir().mkpath(m_server.pathOf(QStringLiteral("pub/inner"))));
    for (const QString& step : steps) {
        m_ftp->setDirectory(step);
        QCOMPARE(CurrentError().number, 0);
        QCOMPARE(m_ftp->Directory(), step);
    }
    QCOMPARE(m_ftp->GetDirectoryList(), listing);
}

void TestFtpOperations::refusedDirectoryKeepsOldValue() {
    m_ftp->setDirectory(QStringLiteral("pub"));
    QVERIFY(!raisedBy([&] { m_ftp->setDirectory(QStringLiteral("nope\\deeper")); }));
    QCOMPARE(hex(CurrentError().number), hex(FtpError::ChangeDirFailed));
    QCOMPARE(
        CurrentError().description,
        QStringLiteral(
            "Cannot Change Directory to nope/deeper. It either doesn't exist, or is protected"));
    QCOMPARE(m_ftp->Directory(), QStringLiteral("pub"));
    // A file is no folder either.
    m_ftp->setDirectory(QStringLiteral("/a.txt"));
    QCOMPARE(hex(CurrentError().number), hex(FtpError::ChangeDirFailed));
    QCOMPARE(m_ftp->Directory(), QStringLiteral("pub"));
    // The server's folder did not move: pub is still listed.
    QVERIFY(writeAll(m_server.pathOf(QStringLiteral("pub/here.txt")), "x"));
    QCOMPARE(m_ftp->GetDirectoryList(), QStringLiteral("here.txt@@128"));
}

void TestFtpOperations::folderRemovedMeanwhileIsNoticed() {
    QVERIFY(QDir().mkpath(m_server.pathOf(QStringLiteral("pub/gone"))));
    m_ftp->setDirectory(QStringLiteral("/pub/gone"));
    QCOMPARE(CurrentError().number, 0);
    QVERIFY(QDir().rmdir(m_server.pathOf(QStringLiteral("pub/gone"))));
    // The same folder again must be asked of the server, not taken from the last request.
    m_ftp->setDirectory(QStringLiteral("/pub/gone"));
    QCOMPARE(hex(CurrentError().number), hex(FtpError::ChangeDirFailed));
}

void TestFtpOperations::emptyDirectoryIsStoredWithoutAsking() {
    m_ftp->setDirectory(QStringLiteral("pub"));
    m_ftp->setDirectory(QString());
    QCOMPARE(CurrentError().number, 0);
    QCOMPARE(m_ftp->Directory(), QString());
    // The server stays in pub.
    QCOMPARE(m_ftp->GetDirectoryList(), QString());
}

void TestFtpOperations::deleteFile() {
    QVERIFY(writeAll(m_server.pathOf(QStringLiteral("pub/doomed.txt")), "x"));
    QVERIFY(m_ftp->DeleteFile(QStringLiteral("/pub/doomed.txt")));
    QCOMPARE(CurrentError().number, 0);
    QVERIFY(!QFile::exists(m_server.pathOf(QStringLiteral("pub/doomed.txt"))));
}

void TestFtpOperations::deleteMissingFileRecords() {
    bool deleted = true;
    QVERIFY(!raisedBy([&] { deleted = m_ftp->DeleteFile(QStringLiteral("pub/missing.txt")); }));
    QVERIFY(!deleted);
    QCOMPARE(hex(CurrentError().number), hex(FtpError::DeleteFailed));
    QCOMPARE(CurrentError().description,
             QStringLiteral("Couldn't Delete File pub/missing.txt from Server"));
}

void TestFtpOperations::renameFile() {
    QVERIFY(writeAll(m_server.pathOf(QStringLiteral("pub/old.txt")), "moved"));
    m_ftp->setDirectory(QStringLiteral("pub"));
    QVERIFY(m_ftp->RenameFile(QStringLiteral("old.txt"), QStringLiteral("new.txt")));
    QVERIFY(!QFile::exists(m_server.pathOf(QStringLiteral("pub/old.txt"))));
    QCOMPARE(readAll(m_server.pathOf(QStringLiteral("pub/new.txt"))), QByteArray("moved"));
}

void TestFtpOperations::renameMissingFileRaises() {
    clearCurrentError();
    const auto error = raisedBy(
        [&] { m_ftp->RenameFile(QStringLiteral("nothing.txt"), QStringLiteral("other.txt")); });
    QVERIFY(error);
    QCOMPARE(hex(error->number()), hex(FtpError::PutOrRenameFailed));
    QCOMPARE(error->source(), QStringLiteral("KivoFTP::RenameFile"));
    QVERIFY2(
        error->description().startsWith(QStringLiteral("Couldn't Rename File nothing.txt\r\n5")),
        qPrintable(error->description()));
    QVERIFY(error->description().endsWith(QStringLiteral("\r\n")));
    QCOMPARE(CurrentError().number, 0);
}

void TestFtpOperations::namesWithLineBreaksAreNotSent() {
    // A line break would end the command and smuggle in a second one.
    QVERIFY(!m_ftp->DeleteFile(QStringLiteral("x\r\nDELE a.txt")));
    QCOMPARE(hex(CurrentError().number), hex(FtpError::DeleteFailed));
    m_ftp->setDirectory(QStringLiteral("pub\r\nDELE /a.txt"));
    QCOMPARE(hex(CurrentError().number), hex(FtpError::ChangeDirFailed));
    QVERIFY(QFile::exists(m_server.pathOf(QStringLiteral("a.txt"))));
}

QTEST_GUILESS_MAIN(TestFtpOperations)
#include "TestFtpOperations.moc"
