#include "BackupTestKit.h"
#include "S3Server.h"
#include "backup/EventLog.h"

#include <QTemporaryDir>
#include <QTest>

// Scheduled runs that send their archive to a bucket: the final key only for a whole archive,
// numbered when taken, the archive kept when the upload fails, and old archives of the session
// (and only those) deleted.
class TestS3Runs : public QObject {
    Q_OBJECT

    S3Server m_server;
    std::unique_ptr<QTemporaryDir> m_dir;
    const QString m_secret = QStringLiteral("Secret-Value-9");

    QString path(const QString& relative) const { return m_dir->filePath(relative); }
    Settings settings(const QString& user = QString()) const {
        Settings s(path("Vodidore.ini"));
        s.WriteOption("Store", path("store"));
        s.WriteOption("isFTP", "1");
        s.WriteOption("Ftp", m_server.address());
        s.WriteOption("User", user.isEmpty() ? m_server.accessKey() : user);
        s.WriteOption("Passw", m_secret);
        s.WriteOption("FTPPAth", "pub");
        return s;
    }
    // Leaves the given keys in the bucket through the program's own client.
    void place(const QStringList& keys) {
        cFTP ftp;
        QVERIFY(ftp.Connect(m_server.address(), m_server.accessKey(), m_secret));
        QVERIFY(writeFile(path("x"), "x"));
        for (const QString& key : keys)
            QVERIFY(ftp.PutFile(path("x"), key, cFTP::Binary));
    }

private slots:
    void init() {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY2(m_server.start(), qPrintable(m_server.errorString()));
        QVERIFY(writeFile(path("data/big.bin"), randomBytes(20 << 20, 7)));
        QVERIFY(QDir().mkpath(path("store")));
    }

    void send_data() {
        QTest::addColumn<QStringList>("before");
        QTest::addColumn<bool>("inParts");
        QTest::addColumn<bool>("serverGone"); // the server ends half-way through the upload
        QTest::addColumn<QString>("user");
        QTest::addColumn<QStringList>("after");
        QTest::addColumn<QString>("lastLine"); // one of the lines
        const QString sent = "File " + QString("@/store/") + ArchiveName + " deleted";
        QTest::newRow("one request: temporary key, then the final one")
            << QStringList() << false << false << "" << QStringList{"pub/" + ArchiveName} << sent;
        QTest::newRow("in parts, straight to the final key")
            << QStringList() << true << false << "" << QStringList{"pub/" + ArchiveName} << sent;
        QTest::newRow("taken name numbered")
            << QStringList{"pub/" + ArchiveName} << false << false << ""
            << QStringList{"pub/2612051430 (2).zip", "pub/" + ArchiveName} << sent;
        QTest::newRow("server gone mid-way, one request: no final key")
            << QStringList() << false << true << "" << QStringList()
            << "The archive was kept at @/store/" + ArchiveName;
        QTest::newRow("server gone mid-way, in parts: no final key")
            << QStringList() << true << true << "" << QStringList()
            << "The archive was kept at @/store/" + ArchiveName;
        QTest::newRow("unknown access key: refused log-on, archive kept")
            << QStringList() << false << false << "NOBODY" << QStringList()
            << "The archive was kept at @/store/" + ArchiveName;
    }
    void send() {
        QFETCH(QStringList, before);
        QFETCH(bool, inParts);
        QFETCH(bool, serverGone);
        QFETCH(QString, user);
        QFETCH(QStringList, after);
        QFETCH(QString, lastLine);
        place(before);
        SessionRun run(
            settings(user),
            [inParts] {
                auto ftp = std::make_unique<cFTP>();
                ftp->setMultipart(inParts ? 8 << 20 : 1LL << 40, 8 << 20);
                return ftp;
            },
            [] { return RunTime; });
        EventLogLines log;
        const auto progress = [&](const RunProgress& p) {
            if (serverGone && p.stage == RunProgress::Stage::Sending && p.done > p.total / 2)
                m_server.stop();
        };
        run.LPack({path("data")}, log, progress);
        // What a cut request left (s3rver keeps part of a single one) never has the final key.
        if (serverGone)
            QVERIFY(!m_server.keys().contains("pub/" + ArchiveName));
        else
            QCOMPARE(m_server.keys(), after);
        QString text;
        for (const auto& line : log.lines())
            text += line.text + " | ";
        QVERIFY2(text.contains(QString(lastLine).replace("@", m_dir->path())), qPrintable(text));
        QVERIFY2(!text.contains(m_secret) && !m_server.output().contains(m_secret.toUtf8()),
                 qPrintable(text));
        if (!user.isEmpty())
            QVERIFY2(text.contains("refused the log-on"), qPrintable(text));
    }

    // An archive an earlier run could not send goes first, to the prefix, and leaves the store.
    void strandedResent() {
        QVERIFY(writeFile(path("store/older.zip"), "older"));
        RunSession session;
        RunRecord older;
        older.id = 1;
        older.archive = "older.zip";
        older.destination = path("store/older.zip");
        older.archiveState = ArchiveState::Waiting;
        session.archives = {older};
        EventLogLines log;
        QVERIFY(!sessionRun(settings()).LPack({path("data")}, log, {}, session).failed());
        QCOMPARE(m_server.keys(), (QStringList{"pub/" + ArchiveName, "pub/older.zip"}));
        QVERIFY(!QFile::exists(path("store/older.zip")));
    }

    // Only the session's own older archives go, under the prefix; nothing of another session's
    // or outside the prefix.
    void keepLast_data() {
        QTest::addColumn<int>("keep");
        QTest::addColumn<QStringList>("after");
        const QStringList others{"pub/other.zip", "pubx/old.zip"};
        QTest::newRow("keep 1") << 1 << QStringList{"pub/" + ArchiveName} + others;
        QTest::newRow("keep 2") << 2 << QStringList{"pub/" + ArchiveName, "pub/old.zip"} + others;
    }
    void keepLast() {
        QFETCH(int, keep);
        QFETCH(QStringList, after);
        place({"pub/old.zip", "pub/other.zip", "pubx/old.zip"});
        RunSession session;
        session.keep = keep;
        RunRecord old;
        old.id = 1;
        old.destination = m_server.address() + ":pub/old.zip";
        session.archives = {old};
        EventLogLines log;
        QVERIFY(!sessionRun(settings()).LPack({path("data")}, log, {}, session).failed());
        after.sort();
        QCOMPARE(m_server.keys(), after);
    }
};

QTEST_GUILESS_MAIN(TestS3Runs)
#include "TestS3Runs.moc"
