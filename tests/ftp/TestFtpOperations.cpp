#include "FtpTestSupport.h"
#include "ftp/FtpListing.h"
#include "ftp/FtpReplyLog.h"

#include <QDir>
#include <QTcpServer>
#include <QtTest>
#include <functional>
#include <sys/stat.h>

using Action = std::function<void(cFTP&)>;
using Operation = std::function<bool(cFTP&, const QString& local)>;
using Entries = std::vector<FtpListEntry>;
Q_DECLARE_METATYPE(Entries)

class TestFtpOperations : public QObject {
    Q_OBJECT

    FtpServer m_server;
    std::unique_ptr<QTemporaryDir> m_local;
    std::unique_ptr<cFTP> m_ftp;

    QString local(const QString& name) const { return m_local->filePath(name); }
    QString remote(const QString& name) const { return m_server.pathOf(name); }

private slots:
    void initTestCase() { QVERIFY2(m_server.start(), qPrintable(m_server.errorString())); }
    void init() {
        m_local = std::make_unique<QTemporaryDir>();
        m_ftp = std::make_unique<cFTP>();
        QVERIFY(logOn(*m_ftp, m_server));
    }
    // Each test starts from the home with only pub (empty) and a.txt.
    void cleanup() {
        m_ftp.reset();
        QVERIFY(QDir(remote("pub")).removeRecursively() && QDir().mkpath(remote("pub")));
    }

    // A second Connect is refused and leaves the connection alone.
    void connectOnceAndDisconnect() {
        QCOMPARE(cFTP().Port(), 21);
        cFTP& ftp = *m_ftp;
        const int logOns = m_server.logOnCount();
        QVERIFY(!ftp.Connect("elsewhere.invalid", "x", "y"));
        QCOMPARE(hex(CurrentError().number), hex(FtpError::LogOnValues));
        QVERIFY(ftp.Connected());
        QCOMPARE(ftp.Host() + ftp.User(), m_server.host() + m_server.user());
        QCOMPARE(ftp.GetDirectoryList(), "pub@@16||a.txt@@128");
        QCOMPARE(m_server.logOnCount(), logOns);
        // Disconnect forgets the log-on values.
        ftp.Disconnect();
        QVERIFY(!ftp.Connected());
        QCOMPARE(ftp.Host() + ftp.User() + ftp.Password() + ftp.Directory(), QString());
        // The listing records the missing connection instead of raising it.
        QCOMPARE(ftp.GetDirectoryList(), QString());
        QCOMPARE(recorded(), "800407d5 Not Connected to FTP Site");
    }

    void disconnectDoesNotWaitLongForQuitReply() {
        FtpServer hung;
        QVERIFY2(hung.start({.answerQuit = false}), qPrintable(hung.errorString()));
        cFTP ftp;
        ftp.setTimeouts(15, 1);
        QVERIFY(logOn(ftp, hung));
        QElapsedTimer timer;
        timer.start();
        ftp.Disconnect();
        // The reply time-out for QUIT, not the 60 s that transfers allow.
        QCOMPARE_LT(timer.elapsed(), 10000);
        QCOMPARE(hung.commands().last(), "QUIT");
    }

    // A refusal carries the server's reply; without a reply the description ends after the
    // message. The password is in none of them.
    void connectFailures_data() {
        QTest::addColumn<QString>("host");
        QTest::addColumn<int>("port");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("reply");
        // clang-format off
        QTest::newRow("wrong password") << "127.0.0.1" << 0 << "Wrong-Password-9" << "530 ";
        QTest::newRow("name not resolved") << "no-such-host.invalid" << 21 << "" << "";
        // Accepted by the kernel's backlog (no event loop runs to take it) and never answered:
        // only the connect time-out ends it.
        QTest::newRow("server that never greets") << "127.0.0.1" << -1 << "" << "";
        // clang-format on
    }

    void connectFailures() {
        QFETCH(QString, host);
        QFETCH(int, port);
        QFETCH(QString, password);
        QFETCH(QString, reply);
        QTcpServer silent;
        QVERIFY(silent.listen(QHostAddress::LocalHost));
        cFTP ftp;
        ftp.setTimeouts(1, 1);
        ftp.setPort(port == 0 ? m_server.port() : port < 0 ? silent.serverPort() : port);
        const QString secret = password.isEmpty() ? m_server.password() : password;
        QVERIFY(!ftp.Connect(host, m_server.user(), secret));
        QVERIFY(!ftp.Connected());
        const QString text = recorded();
        QVERIFY2(text.startsWith("800407d1 Cannot Connect to " + host +
                                 " using User and Password Parameters\r\n" + reply) &&
                     text.endsWith("\r\n") && text.count("\r\n") == (reply.isEmpty() ? 1 : 2),
                 qPrintable(text));
        QVERIFY(!text.contains(secret));
    }

    // The log-on values cannot change while connected; everything else needs a connection.
    void refusedActionsRaise_data() {
        QTest::addColumn<Action>("action");
        QTest::addColumn<QString>("error");
        const QString connected =
            "800407d7 %1: You cannot change this property while connected to an FTP server";
        const QString offline = "800407d5 KivoFTP::%1: Not Connected to FTP Site";
        // clang-format off
        QTest::newRow("Host") << Action([](cFTP& f) { f.setHost("x"); }) << connected.arg("MelnoFTP:Host_Let");
        QTest::newRow("User") << Action([](cFTP& f) { f.setUser("x"); }) << connected.arg("KivoFTP::User_Let");
        QTest::newRow("Password") << Action([](cFTP& f) { f.setPassword("x"); }) << connected.arg("KivoFTP::Password_Let");
        QTest::newRow("Port") << Action([](cFTP& f) { f.setPort(2121); }) << connected.arg("KivoFTP::Port_Let");
        QTest::newRow("GetFile") << Action([](cFTP& f) { f.GetFile("a.txt", "/tmp/x"); }) << offline.arg("GetFile");
        QTest::newRow("PutFile") << Action([](cFTP& f) { f.PutFile("/etc/hostname", "a.txt"); }) << offline.arg("PutFile");
        QTest::newRow("RenameFile") << Action([](cFTP& f) { f.RenameFile("a.txt", "b"); }) << offline.arg("RenameFile");
        QTest::newRow("DeleteFile") << Action([](cFTP& f) { f.DeleteFile("a.txt"); }) << offline.arg("DeleteFile");
        QTest::newRow("Directory") << Action([](cFTP& f) { f.setDirectory("pub"); }) << offline.arg("Directory_Let");
        QTest::newRow("Disconnect") << Action([](cFTP& f) { f.Disconnect(); }) << offline.arg("Disconnect");
        QTest::newRow("FileExists") << Action([](cFTP& f) { f.FileExists("a.txt"); }) << offline.arg("FileExists");
        // clang-format on
    }

    void refusedActionsRaise() {
        QFETCH(Action, action);
        QFETCH(QString, error);
        cFTP offline;
        cFTP& ftp = error.startsWith(hex(FtpError::LogOnValues)) ? *m_ftp : offline;
        QCOMPARE(described(raisedBy([&] { action(ftp); })), error);
        if (&ftp == m_ftp.get())
            QCOMPARE(ftp.Host() + ftp.User() + ftp.Password() + QString::number(ftp.Port()),
                     m_server.host() + m_server.user() + m_server.password() +
                         QString::number(m_server.port()));
    }

    // The progress hook follows each transfer to its whole size; relative names follow the
    // current folder, absolute ones ignore it; a download replaces a longer file whole.
    void binaryTransfersKeepEveryByte() {
        // Every byte value, and line ends of each kind that a text transfer would rewrite.
        QByteArray bytes;
        for (int b = 0; b < 256; ++b)
            bytes.append(static_cast<char>(b));
        bytes = (bytes + "\r\n\n\r\r\n").repeated(3000);
        QVERIFY(writeFile(local("sent.bin"), bytes));
        std::pair<qint64, qint64> told;
        const std::pair<qint64, qint64> whole(bytes.size(), bytes.size());
        m_ftp->setTransferProgress([&](qint64 done, qint64 total) {
            told = {done, total};
            return true;
        });
        m_ftp->setDirectory("pub");
        QVERIFY(!m_ftp->FileExists("/pub"));
        // Binary, and the unknown type that PutFile takes by default.
        for (int type : {int(cFTP::Binary), 0}) {
            QVERIFY(writeFile(local("back.bin"), bytes + bytes));
            told = {};
            QVERIFY(m_ftp->PutFile(local("sent.bin"), "d.bin", type));
            QCOMPARE(told, whole);
            QCOMPARE(readFile(remote("pub/d.bin")), bytes);
            told = {};
            QVERIFY(m_ftp->GetFile("/pub/d.bin", local("back.bin"), cFTP::Binary));
            QCOMPARE(told, whole);
            QCOMPARE(readFile(local("back.bin")), bytes);
            QVERIFY(QFile::remove(remote("pub/d.bin")));
        }
    }

    // Failures recorded with a failure result: nothing raised, nothing moved, nothing lost.
    void failuresAreRecorded_data() {
        QTest::addColumn<Operation>("operation");
        QTest::addColumn<QString>("error");
        // clang-format off
        QTest::newRow("missing folder") << Operation([](cFTP& f, auto) { f.setDirectory("nope\\deeper"); return false; })
            << "800407d2 Cannot Change Directory to nope/deeper. It either doesn't exist, or is protected";
        QTest::newRow("delete missing") << Operation([](cFTP& f, auto) { return f.DeleteFile("missing.txt"); })
            << "800407d4 Couldn't Delete File missing.txt from Server";
        QTest::newRow("get missing") << Operation([](cFTP& f, auto l) { return f.GetFile("missing.bin", l); })
            << "800407d6 Couldn't Get File missing.bin from Server";
        QTest::newRow("put refused") << Operation([](cFTP& f, auto l) { return f.PutFile(l, "none/up.bin"); })
            << "800407d3 Couldn't Put File none/up.bin on Server\r\n550 ";
        // A line break would end the command and smuggle in a second one.
        QTest::newRow("line break in a name") << Operation([](cFTP& f, auto) { return f.DeleteFile("x\r\nDELE /a.txt"); })
            << "800407d4 Couldn't Delete File";
        QTest::newRow("line break in a folder") << Operation([](cFTP& f, auto) { f.setDirectory("pub\r\nDELE /a.txt"); return false; })
            << "800407d2 Cannot Change Directory";
        // clang-format on
    }

    void failuresAreRecorded() {
        QFETCH(Operation, operation);
        QFETCH(QString, error);
        QVERIFY(writeFile(local("kept.txt"), "precious"));
        m_ftp->setDirectory("pub");
        bool result = true;
        QVERIFY(!raisedBy([&] { result = operation(*m_ftp, local("kept.txt")); }) && !result);
        QVERIFY2(recorded().startsWith(error), qPrintable(recorded()));
        QCOMPARE(m_ftp->Directory(), "pub");
        QCOMPARE(readFile(local("kept.txt")), QByteArray("precious"));
        QVERIFY(QFile::exists(remote("a.txt")));
        // The server's folder did not move either.
        QVERIFY(writeFile(remote("pub/here.txt"), "x"));
        QCOMPARE(m_ftp->GetDirectoryList(), "here.txt@@128");
    }

    void folderRemovedMeanwhileIsNoticed() {
        QVERIFY(QDir().mkpath(remote("pub/gone")));
        m_ftp->setDirectory("/pub/gone");
        QVERIFY(QDir().rmdir(remote("pub/gone")));
        const auto error = raisedBy([&] { m_ftp->GetDirectoryList(QString(), "*.zip"); });
        QVERIFY(error && error->number() != 0);
        QCOMPARE(error->description(), "Error looking at directory \\*.zip");
        // The same folder again must be asked of the server, not taken from the last request.
        m_ftp->setDirectory("/pub/gone");
        QCOMPARE(hex(CurrentError().number), hex(FtpError::ChangeDirFailed));
    }

    void listing_data() {
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("filter");
        QTest::addColumn<QString>("listing");
        const QString modes = "locked@@17||open@@16||fixed.txt@@1||free.txt@@128";
        // clang-format off
        // The server lists folders first; a client that sorted by name would put a.txt first.
        QTest::newRow("home in server order") << QStringList{""} << "" << "" << "pub@@16||a.txt@@128";
        QTest::newRow("empty folder") << QStringList{"pub/empty"} << "" << "" << "";
        QTest::newRow("read-only marks") << QStringList{"/pub/modes"} << "" << "" << modes;
        QTest::newRow("double slash is absolute") << QStringList{"pub", "//pub/modes"} << "" << "" << modes;
        QTest::newRow("relative steps deeper") << QStringList{"pub", "empty"} << "" << "" << "";
        QTest::newRow("parent") << QStringList{"pub/modes/open", ".."} << "" << "" << modes;
        // An empty folder is stored without asking: the server stays where it was.
        QTest::newRow("empty") << QStringList{"pub/modes", ""} << "" << "" << modes;
        QTest::newRow("folder argument") << QStringList{""} << "pub/modes" << "*.txt" << "fixed.txt@@1||free.txt@@128";
        QTest::newRow("exact name") << QStringList{""} << "" << "pub" << "pub@@16";
        QTest::newRow("nothing matches") << QStringList{""} << "" << "*.zip" << "";
        QTest::newRow("missing folder argument") << QStringList{""} << "nope" << "" << "pub@@16||a.txt@@128";
        // clang-format on
    }

    void listing() {
        QFETCH(QStringList, steps);
        QFETCH(QString, folder);
        QFETCH(QString, filter);
        QFETCH(QString, listing);
        for (const char* path : {"pub/empty", "pub/modes/locked", "pub/modes/open"})
            QVERIFY(QDir().mkpath(remote(path)));
        QVERIFY(writeFile(remote("pub/modes/fixed.txt"), "x"));
        QVERIFY(writeFile(remote("pub/modes/free.txt"), "x"));
        QCOMPARE(::chmod(qPrintable(remote("pub/modes/locked")), 0555), 0);
        QCOMPARE(::chmod(qPrintable(remote("pub/modes/fixed.txt")), 0444), 0);
        for (const QString& step : steps) {
            m_ftp->setDirectory(step);
            QCOMPARE(CurrentError().number, 0);
            QCOMPARE(m_ftp->Directory(), step);
        }
        QString text = "unset";
        QVERIFY(!raisedBy([&] { text = m_ftp->GetDirectoryList(folder, filter); }));
        QCOMPARE(text, listing);
        QCOMPARE(CurrentError().number, 0);
        QCOMPARE(m_ftp->Directory(), steps.last());
    }

    void serverWithoutMlsdIsListedWithList() {
        FtpServer old;
        QVERIFY2(old.start({.mlsd = false}), qPrintable(old.errorString()));
        QVERIFY(QDir().mkpath(old.pathOf("locked")));
        QCOMPARE(::chmod(qPrintable(old.pathOf("locked")), 0555), 0);
        cFTP ftp;
        QVERIFY(logOn(ftp, old));
        // This server sorts LIST output by name.
        QCOMPARE(ftp.GetDirectoryList(), "a.txt@@128||locked@@17||pub@@16");
    }

    void listingLines_data() {
        QTest::addColumn<bool>("mlsd");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<Entries>("expected");
        // clang-format off
        QTest::newRow("MLSD permissions only") << true << QByteArray("type=file;perm=r; locked\r\ntype=file;perm=adfrw; open\r\ntype=dir;perm=el; shut\r\ntype=dir;perm=elcmp; wide\r\n")
            << Entries({{"locked", 1}, {"open", 128}, {"shut", 17}, {"wide", 16}});
        QTest::newRow("MLSD own and parent folder skipped") << true << QByteArray("type=cdir; .\r\ntype=pdir; ..\r\ntype=Dir; x\r\n") << Entries({{"x", 16}});
        QTest::newRow("MLSD names keep blanks and semicolons") << true << QByteArray("type=file;size=3; my file; v2.txt\n") << Entries({{"my file; v2.txt", 128}});
        QTest::newRow("MLSD links count as files") << true << QByteArray("type=OS.unix=slink:/x; link\r\n") << Entries({{"link", 128}});
        QTest::newRow("LIST unix") << false << QByteArray("total 8\r\ndr-xr-xr-x   2 owner group     4096 Jan 01  2023 locked\r\n"
            "-r--r--r--   1 owner group        3 Mar 15 09:41 read only.txt\r\ndrwxr-xr-x   2 owner group     4096 Jan 01 12:00 .\r\n")
            << Entries({{"locked", 17}, {"read only.txt", 1}});
        QTest::newRow("LIST unix without group and with a link") << false
            << QByteArray("-rw-r--r-- 1 ftp 27 Mar 15 09:41 a.txt\nlrwxrwxrwx 1 ftp ftp 5 Mar 15 09:41 latest -> a.txt\n")
            << Entries({{"a.txt", 128}, {"latest", 128}});
        QTest::newRow("LIST dos") << false << QByteArray("03-15-23  09:41AM       <DIR>          pub\r\n03-15-2023  09:41PM                27 a b.txt\r\n")
            << Entries({{"pub", 16}, {"a b.txt", 128}});
        // Names that would forge entries of the listing text or lead out of a folder.
        QTest::newRow("MLSD unsafe names left out") << true << QByteArray("type=file; a/b\r\ntype=file; ..\\up\r\ntype=file; bell\x07\r\ntype=file; cr\rin\r\n"
            "type=file; nel\xc2\x85\r\ntype=file; x@@16||y\r\ntype=dir; z@\r\ntype=file; ok\r\n") << Entries({{"ok", 128}});
        QTest::newRow("LIST unsafe names left out") << false << QByteArray("-rw-r--r-- 1 ftp ftp 3 Mar 15 09:41 a||b\n-rw-r--r-- 1 ftp ftp 3 Mar 15 09:41 ok\n"
            "03-15-23  09:41AM       <DIR>          ..\\..\\x\r\n") << Entries({{"ok", 128}});
        // clang-format on
    }

    void listingLines() {
        QFETCH(bool, mlsd);
        QFETCH(QByteArray, body);
        QFETCH(Entries, expected);
        QCOMPARE(mlsd ? parseMlsdListing(body) : parseListListing(body), expected);
    }

    void replyText_data() {
        QTest::addColumn<QList<QByteArray>>("chunks");
        QTest::addColumn<QString>("refusal");
        QTest::addColumn<QString>("folder");
        // clang-format off
        QTest::newRow("several lines, split anywhere") << QList<QByteArray>{"530-Not logged in.\r\n530-Sec", "ond line\r\n", "530 End.\r\n"}
            << "530-Not logged in.\r\n530-Second line\r\n530 End." << QString();
        QTest::newRow("success is no refusal") << QList<QByteArray>{"550 Bad.\r\n", "257 \"/a \"\"b\"\"\" is current.\r\n"} << QString() << "/a \"b\"";
        // clang-format on
    }

    void replyText() {
        QFETCH(QList<QByteArray>, chunks);
        QFETCH(QString, refusal);
        QFETCH(QString, folder);
        FtpReplyLog log;
        for (const QByteArray& chunk : chunks)
            log.feed(chunk.constData(), static_cast<std::size_t>(chunk.size()));
        QCOMPARE(log.refusal().value_or(QString()), refusal);
        QCOMPARE(log.reportedFolder().value_or(QString()), folder);
    }
};

QTEST_GUILESS_MAIN(TestFtpOperations)
#include "TestFtpOperations.moc"
