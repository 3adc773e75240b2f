#include "BackupTestKit.h"
#include "FtpServer.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

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
        QTest::newRow("store with trailing /, remote folder without /: none inserted")
            << "Store=@/store/;FTPPAth=/pub" << abc << sentLog << "ftp:pub" + ArchiveName << "ok";
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

        EventLogLines lines;
        const RunResult result = sessionRun(options).LPack(paths, lines);
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
        QCOMPARE(result.archive, archive.isEmpty() ? QString() : ArchiveName);
        QCOMPARE(m_server.logOnCount() - logOns, log.contains("+Connection succesful") ? 1 : 0);
        // Nothing is left in the store or the default one but a kept archive, nor beside them;
        // the server gains the archive under its final name and nothing else.
        for (const QString folder : {"store", "Backups/Vestrel"}) {
            QCOMPARE(listing(path(folder)), archive == "@/" + folder + "/" + ArchiveName
                                                ? QStringList{ArchiveName}
                                                : QStringList());
        }
        QCOMPARE(listing(m_dir->path()), around);
        QCOMPARE(serverFiles().size(), onServer + (sentAway ? 1 : 0));
        if (!archive.isEmpty()) {
            QCOMPARE(readArchive(archivePath).names, packed);
        }
    }

    // The server goes away in the middle of the upload, then comes back for the next runs. Two
    // runs of one minute name the same archive; the second upload must not replace the first,
    // which is by then the only copy of that backup.
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
        const QStringList sent{"2612051430 (2).zip", ArchiveName};
        QCOMPARE(QDir(m_server.pathOf("pub")).entryList(QDir::Files), sent);
        QCOMPARE(readArchive(first).data("big.bin"), noise);
        QCOMPARE(readArchive(m_server.pathOf("pub/2612051430 (2).zip")).data("small/A"), "A");

        // A server that confirms an upload it cut short holds no backup: the archive stays here.
        QVERIFY2(m_server.start({.keepBytes = 100}), qPrintable(m_server.errorString()));
        QVERIFY(sessionRun(options).LPack({path("small")}, lines).failed());
        const QString refused = lines.lines().at(lines.lines().size() - 2).text;
        QVERIFY2(refused.contains(QRegularExpression(
                     "server holds 100 of [0-9]+ bytes.*was removed from the server")),
                 qPrintable(refused));
        QCOMPARE(QDir(m_server.pathOf("pub")).entryList(QDir::Files), sent);
    }
};

QTEST_GUILESS_MAIN(TestSessionRun)
#include "TestSessionRun.moc"
