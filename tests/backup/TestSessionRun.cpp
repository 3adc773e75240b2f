#include "BackupTestKit.h"
#include "FtpServer.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <fcntl.h>
#include <unistd.h>

class TestSessionRun : public QObject {
    Q_OBJECT

    QString path(const QString& relative) const { return m_dir->filePath(relative); }
    // Where uploads go: the server's home and its folder pub.
    QStringList serverFiles() const {
        return listing(m_server.pathOf(QString())) + listing(m_server.pathOf("pub"));
    }

    FtpServer m_server;
    std::unique_ptr<QTemporaryDir> m_dir;

private slots:
    void initTestCase() { QVERIFY2(m_server.start(), qPrintable(m_server.errorString())); }

    void init() {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(QDir().mkpath(path("store")) && QDir().mkpath(path("Backups")));
        qputenv("HOME", QFile::encodeName(m_dir->path()));
    }

    void run_data() {
        // Upload to the server's /pub/, store "@/store" ("@": the temp folder), unless the settings
        // say otherwise ("key=value;…"; "unreadable": the settings file becomes a folder).
        QTest::addColumn<QString>("settings");
        QTest::addColumn<QStringList>("entries"); // files in "@/data"; "-…": missing
        QTest::addColumn<QStringList>("log");     // "+" success or "x" failure, the text ("*": any)
        QTest::addColumn<QString>("archive");     // where it ends: "ftp:" on the server, or "@/…"
        QTest::addColumn<QString>("outcome");
        const QStringList abc{"A", "B", "C"};
        const QString sent = "ftp:pub/" + ArchiveName;
        const QString kept = "@/store/" + ArchiveName;
        const QStringList sentLog{"+Connection succesful", "+File transfer succesfully",
                                  "+File @/store/" + ArchiveName + " deleted"};
        const QString kept1 = "xThe archive was kept at @/store/" + ArchiveName;
        const QString none = "x*: no archive was made";
        QTest::newRow("store without trailing /") << "" << abc << sentLog << sent << "ok";
        QTest::newRow("store with trailing /, remote folder without /: taken as the folder")
            << "Store=@/store/;FTPPAth=/pub" << abc << sentLog << sent << "ok";
        // An archive of this minute is there already: the run makes its own beside it.
        QTest::newRow("name taken")
            << "isFTP=0;taken" << abc << QStringList() << "@/store/2612051430 (2).zip"
            << "ok";
        // The default store does not exist yet: the run makes it.
        const QStringList defaultLog{sentLog[0], sentLog[1],
                                     "+File @/Backups/Vestrel/" + ArchiveName + " deleted"};
        QTest::newRow("blank store: the default folder")
            << "Store= " << abc << defaultLog << sent << "ok";
        QTest::newRow("settings unreadable: reported, defaults used")
            << "unreadable" << abc << QStringList{"x*@/Vodidore.ini*"}
            << "@/Backups/Vestrel/" + ArchiveName << "failed";

        // Entries A, B, C are packed B, C, A; missing ones are skipped, none is dropped.
        QStringList many;
        for (int i = 1; i <= 130; ++i) {
            many << QStringLiteral("%1%2").arg(i % 50 == 1 ? "-" : "f").arg(i, 3, 10, QChar('0'));
        }
        const QStringList gone{"xNot found: @/data/-001", "xNot found: @/data/-051",
                               "xNot found: @/data/-101"};
        QTest::newRow("130 entries, every 50th missing from the first")
            << "" << many << gone + sentLog << sent << "failed";
        QTest::newRow("no entries") << "" << QStringList() << QStringList{none} << ""
                                    << "nothing";
        const QStringList noneFound{"xNot found: @/data/-1", "xNot found: @/data/-2", none};
        QTest::newRow("only missing entries, upload off")
            << "isFTP=0" << QStringList{"-1", "-2"} << noneFound << ""
            << "nothing";
        QTest::newRow("only missing entries") << "" << QStringList{"-1", "-2"} << noneFound << ""
                                              << "nothing";

        // A failed transfer keeps the archive, and says where: it is the only copy of this backup.
        QTest::newRow("log-on refused")
            << "Passw=wrong" << abc << QStringList{"x* (0x800407D1)", kept1} << kept << "failed";
        QTest::newRow("remote folder missing")
            << "FTPPAth=/missing/" << abc
            << QStringList{"+Connection succesful", "x* (0x800407D3)", kept1} << kept << "failed";

        // A packing failure: one red-cross line saying what failed, nothing written, nothing sent.
        QTest::newRow("separator in the pattern")
            << "ArchPat=yy/mm/dd" << abc << QStringList{"x*\"26/12/05\"* (0x80004005)"} << ""
            << "failed";
        QTest::newRow("store folder missing")
            << "Store=@/no/such/store" << abc
            << QStringList{"x*@/no/such/store/" + ArchiveName + "* (0x80004005)"} << ""
            << "failed";
    }

    void run() {
        QFETCH(QString, settings);
        QFETCH(QStringList, entries);
        QFETCH(QStringList, log);
        QFETCH(QString, archive);
        QFETCH(QString, outcome);
        Settings options(path("Vodidore.ini"));
        switchUploadOn(options, m_server);
        options.WriteOption("Store", path("store"));
        const QStringList changes = settings.replace("@", m_dir->path()).split(';');
        for (const QString& change : changes) {
            if (change.contains('=')) {
                options.WriteOption(change.section('=', 0, 0), change.section('=', 1));
            }
        }
        if (changes.contains("unreadable")) {
            QVERIFY(QFile::remove(path("Vodidore.ini")) && QDir().mkpath(path("Vodidore.ini")));
        }
        QStringList paths;
        QStringList packed;
        for (const QString& entry : entries) {
            paths << path("data/" + entry);
            if (!entry.startsWith('-')) {
                QVERIFY(writeFile(paths.back(), entry.toUtf8()));
                packed << entry;
            }
        }
        if (!entries.isEmpty() && !entries[0].startsWith('-')) {
            packed << packed.takeFirst(); // the first entry goes last
        }
        const bool sentAway = archive.startsWith("ftp:");
        const QString archivePath = archive.startsWith('@')
                                        ? QString(archive).replace("@", m_dir->path())
                                        : m_server.pathOf(archive.mid(4));
        QFile::remove(archivePath);
        const QStringList around = listing(m_dir->path());
        const qsizetype onServer = serverFiles().size();
        const int logOns = m_server.logOnCount();

        const QByteArray earlier = "an earlier run's archive";
        if (changes.contains("taken")) {
            QVERIFY(writeFile(path("store/" + ArchiveName), earlier));
        }
        EventLogLines lines;
        const RunResult result = sessionRun(options).LPack(paths, lines);
        if (changes.contains("taken")) {
            QCOMPARE(readFile(path("store/" + ArchiveName)), earlier);
            QVERIFY(QFile::remove(path("store/" + ArchiveName)));
        }
        QCOMPARE(lines.lines().size(), size_t(log.size()));
        for (qsizetype i = 0; i < log.size(); ++i) {
            const EventLogLines::Line& line = lines.lines()[size_t(i)];
            const QString text = log[i].mid(1).replace("@", m_dir->path());
            const QRegularExpression whole(QRegularExpression::anchoredPattern(
                QRegularExpression::escape(text).replace("\\*", "[^\r\n]*")));
            QVERIFY2(whole.match(line.text).hasMatch(), qPrintable(line.text));
            QCOMPARE(line.icon, int(log[i].startsWith('x') ? IconFailure : IconSuccess));
        }
        QCOMPARE(outcomeWord(result.outcome), outcome);
        QCOMPARE(result.archive, QFileInfo(archive).fileName());
        QCOMPARE(m_server.logOnCount() - logOns, log.contains("+Connection succesful") ? 1 : 0);
        // Nothing is left in the store or the default one but a kept archive, nor beside them;
        // the server gains the archive under its final name and nothing else.
        for (const QString folder : {"store", "Backups/Vestrel"}) {
            QCOMPARE(listing(path(folder)), archive.startsWith("@/" + folder + "/")
                                                ? QStringList{QFileInfo(archive).fileName()}
                                                : QStringList());
        }
        QCOMPARE(listing(m_dir->path()), around);
        QCOMPARE(serverFiles().size(), onServer + (sentAway ? 1 : 0));
        if (!archive.isEmpty()) {
            QCOMPARE(readArchive(archivePath).names, packed);
        }
    }

    // The server goes away in the middle of the upload, then comes back for the next runs. Two
    // runs of one minute name the same archive; neither replaces the other, here or on the
    // server, where the first attempt's part file stays until a later run sends that archive.
    void interruptedAndSameMinuteUploads() {
        Settings options(path("Vodidore.ini"));
        QVERIFY2(m_server.start({.stopAfterBytes = 1024 * 1024}),
                 qPrintable(m_server.errorString()));
        switchUploadOn(options, m_server);
        options.WriteOption("Store", path("store"));
        const QByteArray noise = randomBytes(4 * 1024 * 1024, 9);
        QVERIFY(writeFile(path("data/big.bin"), noise) && writeFile(path("small/A"), "A"));
        const QString first = m_server.pathOf("pub/" + ArchiveName);
        QFile::remove(first); // from the runs before

        EventLogLines lines;
        QVERIFY(sessionRun(options).LPack({path("data/big.bin")}, lines).failed());
        QCOMPARE(lines.lines().size(), size_t(3));
        QVERIFY2(lines.lines()[1].text.contains("may be left on the server (0x800407D3)"),
                 qPrintable(lines.lines()[1].text));
        QVERIFY(!QFile::exists(first));

        QVERIFY2(m_server.start(), qPrintable(m_server.errorString()));
        QVERIFY(!sessionRun(options).LPack({path("data/big.bin")}, lines).failed());
        QVERIFY(!sessionRun(options).LPack({path("small")}, lines).failed());
        const QStringList sent{"2612051430 (2).zip", "2612051430 (3).zip", ArchiveName + ".part"};
        QCOMPARE(QDir(m_server.pathOf("pub")).entryList(QDir::Files), sent);
        QCOMPARE(readArchive(m_server.pathOf("pub/" + sent[0])).data("big.bin"), noise);
        QCOMPARE(readArchive(m_server.pathOf("pub/" + sent[1])).data("small/A"), "A");
        QCOMPARE(listing(path("store")), QStringList{ArchiveName});

        // A server that confirms an upload it cut short holds no backup: the archive stays here.
        QVERIFY2(m_server.start({.keepBytes = 100}), qPrintable(m_server.errorString()));
        QVERIFY(sessionRun(options).LPack({path("small")}, lines).failed());
        const QString refused = lines.lines().at(lines.lines().size() - 2).text;
        QVERIFY2(refused.contains(QRegularExpression(
                     "server holds 100 of [0-9]+ bytes.*was removed from the server")),
                 qPrintable(refused));
        QCOMPARE(QDir(m_server.pathOf("pub")).entryList(QDir::Files), sent);
    }

    // With a password every entry is AES-256 encrypted: 7-Zip opens the archive with it and with
    // nothing else, and the password shows in no log line, nor on standard error.
    void encryptedArchive() {
        const QString password = "Tr0ub4dor & 3 \"quoted\"";
        Settings settings(path("Vodidore.ini"));
        settings.WriteOption("Store", path("store"));
        settings.WriteOption("ArchPass", password);
        QVERIFY(writeFile(path("data/letter.txt"), QByteArray("Dear bank, ").repeated(5000)) &&
                writeFile(path("data/photo.raw"), randomBytes(400000, 5)));
        QVERIFY(QFile::link("letter.txt", path("data/latest")));
        const int savedStderr = ::dup(2);
        const int capture = ::open(QFile::encodeName(path("stderr")).constData(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ::dup2(capture, 2);
        EventLogLines log;
        const bool failed = sessionRun(settings).LPack({path("data")}, log).failed();
        ::dup2(savedStderr, 2);
        ::close(capture);
        QVERIFY(!failed && log.lines().empty());
        QVERIFY(!readFile(path("stderr")).contains(password.toUtf8()));
        const QString archive = path("store/" + ArchiveName);
        QVERIFY(!readFile(archive).contains("Dear bank"));
        QVERIFY(!readArchive(archive).ok);
        const ArchiveContents got = readArchive(archive, ReadData::Keep, password.toUtf8());
        QVERIFY2(got.ok, qPrintable(got.error));
        QCOMPARE(got.data("data/photo.raw"), randomBytes(400000, 5));
        QCOMPARE(got.data("data/latest"), QByteArray("letter.txt"));
        for (const QString& tried : {password, QString("wrong")}) {
            QProcess sevenZip;
            sevenZip.start("7z", {"t", "-p" + tried, archive});
            QVERIFY(sevenZip.waitForFinished(60000));
            QCOMPARE(sevenZip.exitCode() == 0, tried == password);
        }
    }
};

QTEST_GUILESS_MAIN(TestSessionRun)
#include "TestSessionRun.moc"
