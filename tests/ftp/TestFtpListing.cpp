#include "FtpTestSupport.h"
#include "ftp/FtpListing.h"
#include "ftp/FtpReplyLog.h"

#include <QDir>
#include <QtTest>
#include <sys/stat.h>

Q_DECLARE_METATYPE(std::vector<FtpListEntry>)

namespace {

std::vector<FtpListEntry> entries(std::initializer_list<FtpListEntry> list) {
    return list;
}

} // namespace

// The folder listing of cFTP against real servers, and the readers of listing and reply text.
class TestFtpListing : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void listsHomeInServerOrder();
    void emptyFolderIsEmptyText();
    void filterSelectsNames_data();
    void filterSelectsNames();
    void readOnlyEntriesAreMarked();
    void folderArgumentMovesServerFolderNotDirectory();
    void missingFolderArgumentListsCurrentFolder();
    void failedListingRaises();
    void serverWithoutMlsdIsListedWithList();

    void mlsdLines_data();
    void mlsdLines();
    void listLines_data();
    void listLines();
    void replyText_data();
    void replyText();

private:
    FtpServer m_server;
    std::unique_ptr<cFTP> m_ftp;
};

void TestFtpListing::initTestCase() {
    QVERIFY2(m_server.start(), qPrintable(m_server.errorString()));
}

void TestFtpListing::init() {
    m_ftp = std::make_unique<cFTP>();
    QVERIFY(logOn(*m_ftp, m_server));
}

void TestFtpListing::cleanup() {
    m_ftp.reset();
    emptyFolder(m_server.pathOf(QStringLiteral("pub")));
}

void TestFtpListing::listsHomeInServerOrder() {
    // The server lists folders first; a client that sorted by name would put a.txt first.
    QCOMPARE(m_ftp->GetDirectoryList(), QStringLiteral("pub@@16||a.txt@@128"));
    QCOMPARE(CurrentError().number, 0);
}

void TestFtpListing::emptyFolderIsEmptyText() {
    QVERIFY(QDir().mkpath(m_server.pathOf(QStringLiteral("pub/empty"))));
    m_ftp->setDirectory(QStringLiteral("pub/empty"));
    QString listing = QStringLiteral("unset");
    QVERIFY(!raisedBy([&] { listing = m_ftp->GetDirectoryList(); }));
    QCOMPARE(listing, QString());
    QCOMPARE(CurrentError().number, 0);
}

void TestFtpListing::filterSelectsNames_data() {
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QString>("listing");
    QTest::newRow("everything") << QStringLiteral("*.*") << QStringLiteral("pub@@16||a.txt@@128");
    QTest::newRow("extension") << QStringLiteral("*.txt") << QStringLiteral("a.txt@@128");
    QTest::newRow("exact name") << QStringLiteral("pub") << QStringLiteral("pub@@16");
    QTest::newRow("nothing matches") << QStringLiteral("*.zip") << QString();
}

void TestFtpListing::filterSelectsNames() {
    QFETCH(QString, filter);
    QFETCH(QString, listing);
    QCOMPARE(m_ftp->GetDirectoryList(QString(), filter), listing);
    QCOMPARE(CurrentError().number, 0);
}

void TestFtpListing::readOnlyEntriesAreMarked() {
    const QString base = m_server.pathOf(QStringLiteral("pub/modes"));
    QVERIFY(QDir().mkpath(base + QStringLiteral("/locked")));
    QVERIFY(QDir().mkpath(base + QStringLiteral("/open")));
    QVERIFY(writeAll(base + QStringLiteral("/fixed.txt"), "x"));
    QVERIFY(writeAll(base + QStringLiteral("/free.txt"), "x"));
    QCOMPARE(::chmod(qPrintable(base + QStringLiteral("/locked")), 0555), 0);
    QCOMPARE(::chmod(qPrintable(base + QStringLiteral("/fixed.txt")), 0444), 0);
    m_ftp->setDirectory(QStringLiteral("/pub/modes"));
    QCOMPARE(m_ftp->GetDirectoryList(),
             QStringLiteral("locked@@17||open@@16||fixed.txt@@1||free.txt@@128"));
}

void TestFtpListing::folderArgumentMovesServerFolderNotDirectory() {
    QVERIFY(writeAll(m_server.pathOf(QStringLiteral("pub/in-pub.txt")), "x"));
    QCOMPARE(m_ftp->GetDirectoryList(QStringLiteral("pub")), QStringLiteral("in-pub.txt@@128"));
    QCOMPARE(m_ftp->Directory(), QString());
    // Later calls go on in the folder the listing entered.
    QCOMPARE(m_ftp->GetDirectoryList(), QStringLiteral("in-pub.txt@@128"));
}

void TestFtpListing::missingFolderArgumentListsCurrentFolder() {
    QCOMPARE(m_ftp->GetDirectoryList(QStringLiteral("nope")),
             QStringLiteral("pub@@16||a.txt@@128"));
    QCOMPARE(CurrentError().number, 0);
    // Nothing listed: the failed change of folder stays recorded.
    QCOMPARE(m_ftp->GetDirectoryList(QStringLiteral("nope"), QStringLiteral("*.zip")), QString());
    QCOMPARE(hex(CurrentError().number), hex(FtpError::ChangeDirFailed));
}

void TestFtpListing::failedListingRaises() {
    QVERIFY(QDir().mkpath(m_server.pathOf(QStringLiteral("pub/vanishing"))));
    m_ftp->setDirectory(QStringLiteral("pub/vanishing"));
    QVERIFY(QDir().rmdir(m_server.pathOf(QStringLiteral("pub/vanishing"))));
    const auto error = raisedBy([&] { m_ftp->GetDirectoryList(); });
    QVERIFY(error);
    QVERIFY(error->number() != 0);
    QCOMPARE(error->source(), QStringLiteral("cFTP::GetDirectoryList"));
    QCOMPARE(error->description(), QStringLiteral("Error looking at directory \\"));
    const auto named =
        raisedBy([&] { m_ftp->GetDirectoryList(QString(), QStringLiteral("*.zip")); });
    QVERIFY(named);
    QCOMPARE(named->description(), QStringLiteral("Error looking at directory \\*.zip"));
}

void TestFtpListing::serverWithoutMlsdIsListedWithList() {
    FtpServer old;
    FtpServer::Options options;
    options.mlsd = false;
    QVERIFY2(old.start(options), qPrintable(old.errorString()));
    QVERIFY(QDir().mkpath(old.pathOf(QStringLiteral("locked"))));
    QCOMPARE(::chmod(qPrintable(old.pathOf(QStringLiteral("locked"))), 0555), 0);
    cFTP ftp;
    QVERIFY(logOn(ftp, old));
    // This server sorts LIST output by name.
    QCOMPARE(ftp.GetDirectoryList(), QStringLiteral("a.txt@@128||locked@@17||pub@@16"));
    QCOMPARE(CurrentError().number, 0);
}

void TestFtpListing::mlsdLines_data() {
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<std::vector<FtpListEntry>>("expected");
    QTest::newRow("owner modes") << QByteArray("type=dir;unix.mode=0o555; ro\r\n"
                                               "type=dir;unix.mode=0755; rw\r\n"
                                               "type=file;unix.mode=444; f\r\n"
                                               "type=file;UNIX.mode=0o644; g\r\n")
                                 << entries({{"ro", 17}, {"rw", 16}, {"f", 1}, {"g", 128}});
    QTest::newRow("permissions only")
        << QByteArray("type=file;perm=r; locked\r\ntype=file;perm=adfrw; open\r\n"
                      "type=dir;perm=el; shut\r\ntype=dir;perm=elcmp; wide\r\n")
        << entries({{"locked", 1}, {"open", 128}, {"shut", 17}, {"wide", 16}});
    QTest::newRow("own and parent folder skipped")
        << QByteArray("type=cdir; .\r\ntype=pdir; ..\r\ntype=Dir; x\r\n") << entries({{"x", 16}});
    QTest::newRow("names keep blanks and semicolons")
        << QByteArray("type=file;size=3; my file; v2.txt\n") << entries({{"my file; v2.txt", 128}});
    QTest::newRow("links count as files")
        << QByteArray("type=OS.unix=slink:/x; link\r\n") << entries({{"link", 128}});
}

void TestFtpListing::mlsdLines() {
    QFETCH(QByteArray, body);
    QFETCH(std::vector<FtpListEntry>, expected);
    QCOMPARE(parseMlsdListing(body), expected);
}

void TestFtpListing::listLines_data() {
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<std::vector<FtpListEntry>>("expected");
    QTest::newRow("unix")
        << QByteArray("total 8\r\n"
                      "drwxr-xr-x   2 owner group     4096 Jan 01 12:00 pub\r\n"
                      "dr-xr-xr-x   2 owner group     4096 Jan 01  2023 locked\r\n"
                      "-rw-r--r--   1 owner group       27 Mar 15 09:41 a.txt\r\n"
                      "-r--r--r--   1 owner group        3 Mar 15 09:41 read only.txt\r\n"
                      "drwxr-xr-x   2 owner group     4096 Jan 01 12:00 .\r\n")
        << entries({{"pub", 16}, {"locked", 17}, {"a.txt", 128}, {"read only.txt", 1}});
    QTest::newRow("unix without group and with a link")
        << QByteArray("-rw-r--r-- 1 ftp 27 Mar 15 09:41 a.txt\n"
                      "lrwxrwxrwx 1 ftp ftp 5 Mar 15 09:41 latest -> a.txt\n")
        << entries({{"a.txt", 128}, {"latest", 128}});
    QTest::newRow("dos") << QByteArray("03-15-23  09:41AM       <DIR>          pub\r\n"
                                       "03-15-2023  09:41PM                27 a b.txt\r\n")
                         << entries({{"pub", 16}, {"a b.txt", 128}});
}

void TestFtpListing::listLines() {
    QFETCH(QByteArray, body);
    QFETCH(std::vector<FtpListEntry>, expected);
    QCOMPARE(parseListListing(body), expected);
}

void TestFtpListing::replyText_data() {
    QTest::addColumn<QList<QByteArray>>("chunks");
    QTest::addColumn<QString>("refusal");
    QTest::addColumn<QString>("folder");
    QTest::newRow("refusal after success")
        << QList<QByteArray>{"230 Login successful.\r\n", "550 No such file.\r\n"}
        << QStringLiteral("550 No such file.") << QString();
    QTest::newRow("several lines, split anywhere")
        << QList<QByteArray>{"530-Not logged in.\r\n530-Sec", "ond line\r\n", "530 End.\r\n"}
        << QStringLiteral("530-Not logged in.\r\n530-Second line\r\n530 End.") << QString();
    QTest::newRow("success is no refusal")
        << QList<QByteArray>{"550 Bad.\r\n", "257 \"/a \"\"b\"\"\" is current.\r\n"} << QString()
        << QStringLiteral("/a \"b\"");
}

void TestFtpListing::replyText() {
    QFETCH(QList<QByteArray>, chunks);
    QFETCH(QString, refusal);
    QFETCH(QString, folder);
    FtpReplyLog log;
    for (const QByteArray& chunk : chunks)
        log.feed(chunk.constData(), static_cast<std::size_t>(chunk.size()));
    QCOMPARE(log.refusal().value_or(QString()), refusal);
    QCOMPARE(log.reportedFolder().value_or(QString()), folder);
}

QTEST_GUILESS_MAIN(TestFtpListing)
#include "TestFtpListing.moc"
