#include "ArchiveReader.h"
#include "FtpServer.h"
#include "backup/SessionRun.h"
#include "common/DatePattern.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {

using Line = EventLogLines::Line;
using Lines = std::vector<Line>;

const DateTime RunTime = *DateTime::fromParts(2026, 12, 5, 14, 30, 15);
const QString ArchiveName = QStringLiteral("2612051430.zip");

void writeFile(const QString& path, const QByteArray& data) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    QVERIFY2(f.open(QIODevice::WriteOnly | QIODevice::Truncate), qPrintable(path));
    f.write(data);
}

QStringList listing(const QString& folder) {
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
}

} // namespace

class TestSessionRun : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void archiveNamedAfterTheClock_data();
    void archiveNamedAfterTheClock();
    void archivePathJoinsStoreWithOneSeparator_data();
    void archivePathJoinsStoreWithOneSeparator();
    void entriesPackedFirstLast_data();
    void entriesPackedFirstLast();
    void sessionWithoutEntriesDoesNothing();
    void onlyMissingEntries_data();
    void onlyMissingEntries();
    void unusableArchiveNameFailsInTheLog_data();
    void unusableArchiveNameFailsInTheLog();
    void packingFailureEndsTheRunInTheLog();
    void uploadLogsThreeLinesAndDeletesArchive_data();
    void uploadLogsThreeLinesAndDeletesArchive();
    void failedUploadKeepsArchive_data();
    void failedUploadKeepsArchive();

private:
    QString path(const QString& relative) const { return m_dir->filePath(relative); }
    QString storePath() const { return path(QStringLiteral("store")); }
    void set(const QString& key, const QVariant& value) { m_settings->WriteOption(key, value); }
    void switchUploadOn(const QString& ftpPath = QStringLiteral("/pub/"));
    bool run(const QStringList& entries, Lines& lines, DateTime now = RunTime);
    QStringList threeFiles();

    FtpServer m_server;
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<Settings> m_settings;
};

void TestSessionRun::initTestCase() {
    QVERIFY2(m_server.start(), qPrintable(m_server.errorString()));
}

void TestSessionRun::init() {
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    QVERIFY(QDir().mkpath(storePath()));
    QVERIFY(QDir().mkpath(path("program")));
    m_settings = std::make_unique<Settings>(path("Vodidore.ini"));
    set("Store", storePath());
    for (const QString& file : listing(m_server.pathOf("pub"))) {
        QFile::remove(m_server.pathOf("pub/" + file));
    }
}

void TestSessionRun::switchUploadOn(const QString& ftpPath) {
    set("isFTP", "1");
    set("Ftp", m_server.host());
    set("Port", QString::number(m_server.port()));
    set("User", m_server.user());
    set("Passw", m_server.password());
    set("FTPPAth", ftpPath);
}

bool TestSessionRun::run(const QStringList& entries, Lines& lines, DateTime now) {
    const SessionRun session(
        *m_settings, [] { return std::make_unique<cFTP>(); }, [now] { return now; },
        path("program"));
    EventLogLines log;
    const bool failed = session.LPack(entries, log);
    lines = log.lines();
    return failed;
}

QStringList TestSessionRun::threeFiles() {
    QStringList out;
    for (const char* name : {"A.txt", "B.txt", "C.txt"}) {
        writeFile(path(QStringLiteral("data/") + name), name);
        out << path(QStringLiteral("data/") + name);
    }
    return out;
}

void TestSessionRun::archiveNamedAfterTheClock_data() {
    QTest::addColumn<QVariant>("pattern");
    QTest::addColumn<QString>("name");
    QTest::newRow("default pattern") << QVariant() << ArchiveName;
    QTest::newRow("typed in capitals") << QVariant("YYMMDDHHMM") << ArchiveName;
    QTest::newRow("with seconds") << QVariant("yyyy-mm-dd_hh.nn.ss") << "2026-12-05_14.30.15.zip";
}

void TestSessionRun::archiveNamedAfterTheClock() {
    QFETCH(QVariant, pattern);
    QFETCH(QString, name);
    if (pattern.isValid()) {
        set("ArchPat", pattern);
    }
    Lines lines;
    QVERIFY(!run(threeFiles(), lines));
    // Upload off: the archive stays and nothing is logged.
    QCOMPARE(lines, Lines{});
    QCOMPARE(listing(storePath()), QStringList{name});
}

void TestSessionRun::archivePathJoinsStoreWithOneSeparator_data() {
    QTest::addColumn<QVariant>("store");
    QTest::addColumn<QString>("folder");
    QTest::newRow("without trailing /") << QVariant("@/store") << "store";
    QTest::newRow("with trailing /") << QVariant("@/store/") << "store";
    QTest::newRow("no store saved: the program's folder") << QVariant() << "program";
}

void TestSessionRun::archivePathJoinsStoreWithOneSeparator() {
    QFETCH(QVariant, store);
    QFETCH(QString, folder);
    if (store.isValid()) {
        set("Store", store.toString().replace("@", m_dir->path()));
    } else {
        m_settings = std::make_unique<Settings>(path("never-saved.ini"));
    }
    switchUploadOn("");
    Lines lines;
    QVERIFY(!run(threeFiles(), lines));
    // The deletion line names the archive path exactly as the run built it.
    const QString archivePath = path(folder + "/" + ArchiveName);
    QCOMPARE(lines.back(), (Line{"File " + archivePath + " deleted", IconSuccess}));
    QVERIFY(QFile::exists(m_server.pathOf(ArchiveName)));
}

void TestSessionRun::entriesPackedFirstLast_data() {
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<QStringList>("packed");
    QTest::newRow("A, B, C") << QStringList{"A", "B", "C"} << QStringList{"B", "C", "A"};
    QTest::newRow("missing entry skipped")
        << QStringList{"A", "-gone", "C"} << QStringList{"C", "A"};
    QTest::newRow("first entry missing") << QStringList{"-gone", "B", "C"} << QStringList{"B", "C"};
    QTest::newRow("one entry") << QStringList{"A"} << QStringList{"A"};
    QStringList many;
    for (int i = 1; i <= 130; ++i) {
        many << QStringLiteral("f%1").arg(i, 3, 10, QLatin1Char('0'));
    }
    QTest::newRow("130 entries, none dropped") << many << (many.mid(1) << many.first());
}

void TestSessionRun::entriesPackedFirstLast() {
    QFETCH(QStringList, entries);
    QFETCH(QStringList, packed);
    QStringList paths;
    for (const QString& entry : entries) {
        if (!entry.startsWith('-')) {
            writeFile(path("data/" + entry), entry.toUtf8());
        }
        paths << path("data/" + entry);
    }
    Lines lines;
    QVERIFY(!run(paths, lines));
    QCOMPARE(lines, Lines{});
    const ArchiveContents got = readArchive(storePath() + "/" + ArchiveName);
    QVERIFY2(got.ok, qPrintable(got.error));
    QCOMPARE(got.names(), packed);
}

void TestSessionRun::sessionWithoutEntriesDoesNothing() {
    switchUploadOn();
    const int logOns = m_server.logOnCount();
    Lines lines;
    QVERIFY(!run({}, lines));
    QCOMPARE(lines, Lines{});
    QCOMPARE(listing(storePath()), QStringList{});
    QCOMPARE(m_server.logOnCount(), logOns);
}

void TestSessionRun::onlyMissingEntries_data() {
    QTest::addColumn<bool>("upload");
    QTest::newRow("upload off") << false;
    QTest::newRow("upload on") << true;
}

void TestSessionRun::onlyMissingEntries() {
    QFETCH(bool, upload);
    if (upload) {
        switchUploadOn();
    }
    const int logOns = m_server.logOnCount();
    Lines lines;
    const bool failed = run({path("gone1"), path("gone2")}, lines);
    QCOMPARE(listing(storePath()), QStringList{});
    QCOMPARE(m_server.logOnCount(), logOns);
    if (upload) {
        const Lines expected{
            {"Zip file " + storePath() + "/" + ArchiveName + " not found", IconFailure}};
        QCOMPARE(lines, expected);
        QVERIFY(failed);
    } else {
        QCOMPARE(lines, Lines{});
        QVERIFY(!failed);
    }
}

void TestSessionRun::unusableArchiveNameFailsInTheLog_data() {
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QString>("name");
    QTest::newRow("empty pattern: the general date text") << "" << formatDate(RunTime, QString());
    QTest::newRow("separator in the pattern") << "yy/mm/dd"
                                              << "26/12/05";
    QTest::newRow("leading out of the store") << "../yymmdd"
                                              << "../261205";
}

void TestSessionRun::unusableArchiveNameFailsInTheLog() {
    QFETCH(QString, pattern);
    QFETCH(QString, name);
    set("ArchPat", pattern);
    switchUploadOn();
    const QStringList entries = threeFiles();
    const QStringList around = listing(m_dir->path());
    const int logOns = m_server.logOnCount();

    Lines lines;
    QVERIFY(run(entries, lines));
    QCOMPARE(lines.size(), size_t(1));
    QCOMPARE(lines[0].icon, int(IconFailure));
    QVERIFY2(lines[0].text.contains('"' + name + '"'), qPrintable(lines[0].text));
    QVERIFY2(lines[0].text.endsWith("(0x80004005)"), qPrintable(lines[0].text));
    // Nothing written in the store, nor beside it, nor sent.
    QCOMPARE(listing(storePath()), QStringList{});
    QCOMPARE(listing(m_dir->path()), around);
    QCOMPARE(m_server.logOnCount(), logOns);
}

void TestSessionRun::packingFailureEndsTheRunInTheLog() {
    set("Store", path("no/such/store"));
    switchUploadOn();
    const int logOns = m_server.logOnCount();
    Lines lines;
    QVERIFY(run(threeFiles(), lines));
    QCOMPARE(lines.size(), size_t(1));
    QCOMPARE(lines[0].icon, int(IconFailure));
    QVERIFY2(lines[0].text.contains(path("no/such/store/") + ArchiveName),
             qPrintable(lines[0].text));
    QVERIFY(!QFile::exists(path("no")));
    QCOMPARE(m_server.logOnCount(), logOns);
}

void TestSessionRun::uploadLogsThreeLinesAndDeletesArchive_data() {
    QTest::addColumn<QString>("ftpPath");
    QTest::addColumn<QString>("onServer");
    QTest::newRow("folder with trailing /") << "/pub/"
                                            << "pub/" + ArchiveName;
    QTest::newRow("no separator inserted") << "/pub"
                                           << "pub" + ArchiveName;
    QTest::newRow("no remote folder") << "" << ArchiveName;
}

void TestSessionRun::uploadLogsThreeLinesAndDeletesArchive() {
    QFETCH(QString, ftpPath);
    QFETCH(QString, onServer);
    switchUploadOn(ftpPath);
    QFile::remove(m_server.pathOf(onServer));

    Lines lines;
    QVERIFY(!run(threeFiles(), lines));
    const QString archivePath = storePath() + "/" + ArchiveName;
    const Lines expected{{"Connection succesful", IconSuccess},
                         {"File transfer succesfully", IconSuccess},
                         {"File " + archivePath + " deleted", IconSuccess}};
    QCOMPARE(lines, expected);
    QCOMPARE(listing(storePath()), QStringList{});

    const ArchiveContents sent = readArchive(m_server.pathOf(onServer));
    QVERIFY2(sent.ok, qPrintable(sent.error));
    QCOMPARE(sent.names(), (QStringList{"B.txt", "C.txt", "A.txt"}));
    // An archive is sent byte for byte: binary type before the transfer.
    const QStringList commands = m_server.commands();
    QString lastType;
    int stored = 0;
    for (const QString& command : commands) {
        if (command.startsWith("TYPE ")) {
            lastType = command;
        } else if (command.startsWith("STOR ")) {
            QCOMPARE(lastType, QStringLiteral("TYPE I"));
            ++stored;
        }
    }
    QVERIFY(stored > 0);
    QFile::remove(m_server.pathOf(onServer));
}

void TestSessionRun::failedUploadKeepsArchive_data() {
    QTest::addColumn<QString>("host");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("ftpPath");
    QTest::addColumn<QStringList>("texts"); // "=" exact, "~" starts with, then ends with
    QTest::addColumn<QList<int>>("icons");
    QTest::newRow("no server address")
        << ""
        << ""
        << "/pub/" << QStringList{"=No Host Address Specified! (0x800407D7)"}
        << QList<int>{IconFailure};
    QTest::newRow("log-on refused")
        << "127.0.0.1"
        << "wrong"
        << "/pub/"
        << QStringList{"~Cannot Connect to 127.0.0.1 using User and Password Parameters 530"
                       "|(0x800407D1)"}
        << QList<int>{IconFailure};
    QTest::newRow("remote folder missing")
        << "127.0.0.1"
        << ""
        << "/missing/" << QStringList{"=Connection succesful", "~|(0x800407D3)"}
        << QList<int>{IconSuccess, IconFailure};
}

void TestSessionRun::failedUploadKeepsArchive() {
    QFETCH(QString, host);
    QFETCH(QString, password);
    QFETCH(QString, ftpPath);
    QFETCH(QStringList, texts);
    QFETCH(QList<int>, icons);
    switchUploadOn(ftpPath);
    set("Ftp", host);
    if (!password.isEmpty()) {
        set("Passw", password);
    }

    Lines lines;
    QVERIFY(run(threeFiles(), lines));
    QCOMPARE(lines.size(), size_t(texts.size()));
    for (qsizetype i = 0; i < texts.size(); ++i) {
        const QString& text = lines[size_t(i)].text;
        QCOMPARE(lines[size_t(i)].icon, icons[i]);
        if (texts[i].startsWith('=')) {
            QCOMPARE(text, texts[i].mid(1));
        } else {
            const QStringList ends = texts[i].mid(1).split('|');
            QVERIFY2(text.startsWith(ends[0]) && text.endsWith(ends[1]), qPrintable(text));
            QVERIFY2(!text.contains("\r") && !text.contains("\n"), qPrintable(text));
        }
    }
    // The archive is then the only copy of this backup: it stays.
    QCOMPARE(listing(storePath()), QStringList{ArchiveName});
    QVERIFY(readArchive(storePath() + "/" + ArchiveName).ok);
}

QTEST_GUILESS_MAIN(TestSessionRun)
#include "TestSessionRun.moc"
