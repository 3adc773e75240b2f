#include "BackupTestKit.h"
#include "FtpServer.h"
#include "common/DatePattern.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <unistd.h>

class TestSessionRun : public QObject {
    Q_OBJECT

    QString path(const QString& relative) const { return m_dir->filePath(relative); }
    QStringList serverFiles() const {
        QStringList files;
        for (QDirIterator it(m_server.pathOf(QString()), QDir::Files, QDirIterator::Subdirectories);
             it.hasNext();) {
            files << it.next();
        }
        files.sort();
        return files;
    }

    FtpServer m_server;
    std::unique_ptr<QTemporaryDir> m_dir;

private slots:
    void initTestCase() { QVERIFY2(m_server.start(), qPrintable(m_server.errorString())); }

    void init() {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(QDir().mkpath(path("store")) && QDir().mkpath(path("program")));
    }

    void run_data() {
        // Upload to the test server's /pub/, the store being "@/store" ("@": the temp folder),
        // unless the settings say otherwise ("key=value;…", a bare key: never saved).
        QTest::addColumn<QString>("settings");
        QTest::addColumn<QStringList>("entries"); // files in "@/data"; "-…": missing
        QTest::addColumn<QStringList>("log");     // "+" success or "x" failure, the text ("*": any)
        QTest::addColumn<QString>("archive");     // where it ends: "ftp:" on the server, or "@/…"
        const QStringList abc{"A", "B", "C"};
        const QString name = ArchiveName;
        const QString sent = "ftp:pub/" + name;
        const QString kept = "@/store/" + name;
        const QStringList sentLog{"+Connection succesful", "+File transfer succesfully",
                                  "+File @/store/" + name + " deleted"};
        QTest::newRow("store without trailing /") << "" << abc << sentLog << sent;
        QTest::newRow("store with trailing /") << "Store=@/store/" << abc << sentLog << sent;
        const QStringList programLog{sentLog[0], sentLog[1],
                                     "+File @/program/" + name + " deleted"};
        QTest::newRow("no store saved: the program's folder")
            << "Store" << abc << programLog << sent;
        QTest::newRow("empty store: the program's folder") << "Store=" << abc << programLog << sent;
        QTest::newRow("blank store: the program's folder")
            << "Store= " << abc << programLog << sent;
        QTest::newRow("remote folder without /: none inserted")
            << "FTPPAth=/pub" << abc << sentLog << "ftp:pub" + name;
        QTest::newRow("no remote folder") << "FTPPAth=" << abc << sentLog << "ftp:" + name;

        // Entries A, B, C are packed B, C, A; missing ones are skipped, none is dropped.
        QTest::newRow("upload off: nothing logged, archive kept")
            << "isFTP=0" << abc << QStringList() << kept;
        QTest::newRow("missing entry") << "" << QStringList{"A", "-gone", "C"} << sentLog << sent;
        QTest::newRow("first entry missing")
            << "" << QStringList{"-gone", "B", "C"} << sentLog << sent;
        QTest::newRow("one entry") << "" << QStringList{"A"} << sentLog << sent;
        QStringList many;
        for (int i = 1; i <= 130; ++i) {
            many << QStringLiteral("f%1").arg(i, 3, 10, QLatin1Char('0'));
        }
        QTest::newRow("130 entries") << "" << many << sentLog << sent;
        QTest::newRow("no entries") << "" << QStringList() << QStringList() << "";
        QTest::newRow("only missing entries, upload off")
            << "isFTP=0" << QStringList{"-1", "-2"} << QStringList() << "";
        QTest::newRow("only missing entries")
            << "" << QStringList{"-1", "-2"}
            << QStringList{"xZip file @/store/" + name + " not found"} << "";

        // A failed transfer keeps the archive: it is then the only copy of this backup.
        QTest::newRow("no server address")
            << "Ftp=" << abc << QStringList{"xNo Host Address Specified! (0x800407D7)"} << kept;
        QTest::newRow("log-on refused")
            << "Passw=wrong" << abc
            << QStringList{"xCannot Connect to 127.0.0.1 using User and Password Parameters 530* "
                           "(0x800407D1)"}
            << kept;
        QTest::newRow("remote folder missing")
            << "FTPPAth=/missing/" << abc << QStringList{"+Connection succesful", "x* (0x800407D3)"}
            << kept;

        // A packing failure: one red-cross line saying what failed, nothing written, nothing sent.
        const QString nameFailure = "x*\"%1\"* (0x80004005)";
        QTest::newRow("empty pattern: the general date text")
            << "ArchPat=" << abc << QStringList{nameFailure.arg(formatDate(RunTime, QString()))}
            << "";
        QTest::newRow("separator in the pattern")
            << "ArchPat=yy/mm/dd" << abc << QStringList{nameFailure.arg("26/12/05")} << "";
        QTest::newRow("leading out of the store")
            << "ArchPat=../yymmdd" << abc << QStringList{nameFailure.arg("../261205")} << "";
        QTest::newRow("store folder missing")
            << "Store=@/no/such/store" << abc
            << QStringList{"x*@/no/such/store/" + name + "* (0x80004005)"} << "";
    }

    void run() {
        QFETCH(QString, settings);
        QFETCH(QStringList, entries);
        QFETCH(QStringList, log);
        QFETCH(QString, archive);
        Settings options(path("Vodidore.ini"));
        switchUploadOn(options, m_server);
        const QStringList changes = settings.replace("@", m_dir->path()).split(';');
        if (!changes.contains("Store")) {
            options.WriteOption("Store", path("store"));
        }
        for (const QString& change : changes) {
            if (change.contains('=')) {
                options.WriteOption(change.section('=', 0, 0), change.section('=', 1));
            }
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
        const bool keptHere = archive.startsWith('@');
        const QString archivePath =
            keptHere ? archive.replace("@", m_dir->path()) : m_server.pathOf(archive.mid(4));
        QFile::remove(archivePath);
        const QStringList around = listing(m_dir->path());
        const QStringList onServer = serverFiles();
        const int logOns = m_server.logOnCount();

        EventLogLines lines;
        const bool failed = sessionRun(options, path("program")).LPack(paths, lines);
        QCOMPARE(lines.lines().size(), size_t(log.size()));
        for (qsizetype i = 0; i < log.size(); ++i) {
            const EventLogLines::Line& line = lines.lines()[size_t(i)];
            const QString text = log[i].mid(1).replace("@", m_dir->path());
            const QRegularExpression whole(QRegularExpression::anchoredPattern(
                QRegularExpression::escape(text).replace("\\*", "[^\r\n]*")));
            QVERIFY2(whole.match(line.text).hasMatch(), qPrintable(line.text));
            QCOMPARE(line.icon, int(log[i].startsWith('x') ? IconFailure : IconSuccess));
        }
        QCOMPARE(failed, !log.filter(QRegularExpression("^x")).isEmpty());
        QCOMPARE(m_server.logOnCount() - logOns, log.contains("+Connection succesful") ? 1 : 0);
        // Nothing is left in the store but a kept archive, nor beside it, nor in the program's.
        QCOMPARE(listing(path("store")), keptHere ? QStringList{ArchiveName} : QStringList());
        QCOMPARE(listing(m_dir->path()), around);
        QCOMPARE(listing(path("program")), QStringList());
        // The server gains the archive under its final name and nothing else.
        QStringList gained = onServer;
        if (!keptHere && !archive.isEmpty()) {
            gained << archivePath;
            gained.sort();
        }
        QCOMPARE(serverFiles(), gained);
        if (!archive.isEmpty()) {
            const ArchiveContents got = readArchive(archivePath);
            QVERIFY2(got.ok, qPrintable(got.error));
            QCOMPARE(got.names, packed);
        }
    }

    void unreadableSettingsAreReportedAndDefaultsUsed_data() {
        QTest::addColumn<QByteArray>("content"); // empty: a folder
        QTest::addColumn<bool>("locked");        // mode 000
        QTest::newRow("garbage") << QByteArray("\x7f"
                                               "ELF\x02\x01\x00\x00[Archive]\n",
                                               18)
                                 << false;
        QTest::newRow("folder") << QByteArray() << false;
        if (::geteuid() != 0) { // root reads any file
            QTest::newRow("no permission") << QByteArray("[Archive]\nisFTP=0\n") << true;
        }
    }

    // Upload on, store and remote folder set, then the file becomes unreadable: the run packs
    // with the defaults and says so in a line that shows the window.
    void unreadableSettingsAreReportedAndDefaultsUsed() {
        QFETCH(QByteArray, content);
        QFETCH(bool, locked);
        const QString ini = path("Vodidore.ini");
        Settings options(ini);
        switchUploadOn(options, m_server);
        options.WriteOption("Store", path("store"));
        QVERIFY(QFile::remove(ini));
        QVERIFY(content.isEmpty() ? QDir().mkpath(ini) : writeFile(ini, content));
        QVERIFY(QFile::setPermissions(ini, locked ? QFile::Permissions() : QFile::ReadOwner));
        QVERIFY(writeFile(path("data/A"), "A"));

        EventLogLines lines;
        const int logOns = m_server.logOnCount();
        QVERIFY(sessionRun(options, path("program")).LPack({path("data/A")}, lines));
        QCOMPARE(lines.lines().size(), size_t(1));
        QCOMPARE(lines.lines()[0].icon, int(IconFailure));
        QVERIFY2(lines.lines()[0].text.contains(ini), qPrintable(lines.lines()[0].text));
        QCOMPARE(m_server.logOnCount(), logOns);
        QCOMPARE(readArchive(path("program/" + ArchiveName)).names, QStringList{"A"});
    }

    // The server goes away in the middle of the upload, then comes back for the next run.
    void interruptedUploadLeavesNoArchiveUnderItsName() {
        Settings options(path("Vodidore.ini"));
        QVERIFY2(m_server.start({.stopAfterBytes = 1024 * 1024}),
                 qPrintable(m_server.errorString()));
        switchUploadOn(options, m_server);
        options.WriteOption("Store", path("store"));
        QByteArray noise(4 * 1024 * 1024, Qt::Uninitialized); // does not compress
        QRandomGenerator(9).fillRange(reinterpret_cast<quint32*>(noise.data()), noise.size() / 4);
        QVERIFY(writeFile(path("data/big.bin"), noise));
        const QString remote = m_server.pathOf("pub/" + ArchiveName);
        QFile::remove(remote);

        EventLogLines lines;
        QVERIFY(sessionRun(options, path("program")).LPack({path("data/big.bin")}, lines));
        QCOMPARE(lines.lines().size(), size_t(2));
        QVERIFY2(lines.lines()[1].text.contains("may be left on the server (0x800407D3)"),
                 qPrintable(lines.lines()[1].text));
        QVERIFY(!QFile::exists(remote));
        QVERIFY(QFile::exists(path("store/" + ArchiveName)));

        QVERIFY2(m_server.start(), qPrintable(m_server.errorString()));
        QVERIFY(!sessionRun(options, path("program")).LPack({path("data/big.bin")}, lines));
        QCOMPARE(QDir(m_server.pathOf("pub")).entryList(QDir::Files), QStringList{ArchiveName});
        QCOMPARE(readArchive(remote).data("big.bin"), noise);
    }

    // Two sessions of one minute name the same archive; the second upload must not replace the
    // first, which is by then the only copy of that backup.
    void sameMinuteUploadsKeepEachOther() {
        Settings options(path("Vodidore.ini"));
        switchUploadOn(options, m_server);
        options.WriteOption("Store", path("store"));
        const QString first = m_server.pathOf("pub/" + ArchiveName);
        const QString second = m_server.pathOf("pub/2612051430 (2).zip");
        QFile::remove(first);
        QFile::remove(second);
        for (const QString session : {"alice", "bob"}) {
            QVERIFY(writeFile(path(session + "/Documents/tax.txt"), session.toUtf8()));
            EventLogLines lines;
            QVERIFY(
                !sessionRun(options, path("program")).LPack({path(session + "/Documents")}, lines));
        }
        QCOMPARE(readArchive(first).data("Documents/tax.txt"), QByteArray("alice"));
        QCOMPARE(readArchive(second).data("Documents/tax.txt"), QByteArray("bob"));
    }
};

QTEST_GUILESS_MAIN(TestSessionRun)
#include "TestSessionRun.moc"
