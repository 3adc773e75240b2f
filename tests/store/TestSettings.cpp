#include "TestFiles.h"
#include "common/Error.h"
#include "store/Settings.h"

#include <QScopeGuard>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct stat statOf(const QString& path) {
    struct stat st {};
    ::stat(QFile::encodeName(path).constData(), &st);
    return st;
}

} // namespace

class TestSettings : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

private slots:
    void defaultPathFollowsXdgConfigHome() {
        QCOMPARE(Settings::defaultFilePath(),
                 qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/Vodidore.ini"));
    }

    void keysMatchWithoutCase() {
        const QString path = m_dir.filePath("case.ini");
        QVERIFY(writeFile(path, "[Archive]\nISFTP=1\nIsFtp=0\nFTPPAth=/up/\n"));
        ::chmod(QFile::encodeName(path).constData(), 0644);
        Settings s(path);
        QCOMPARE(s.ReadOption("isFtp", false), QString("1"));
        QCOMPARE(s.ReadOption("Ftp", "  padded default "), QString("padded default"));
        QCOMPARE(s.ReadOption("Port", false), QString("False"));

        // A write replaces every case variant of its key, keeps the other lines and puts a new
        // file, readable by its owner only, in the old one's place: the old inode stays whole.
        const ino_t inode = statOf(path).st_ino;
        s.WriteOption("isFTP", 0);
        QCOMPARE(s.ReadOption("IsFtp", true), QString("0"));
        const QString text = QString::fromUtf8(readFile(path));
        QCOMPARE(text.count("isftp", Qt::CaseInsensitive), 1);
        QVERIFY(text.contains("FTPPAth=/up/"));
        QVERIFY(statOf(path).st_ino != inode);
        QCOMPARE(statOf(path).st_mode & 0777, mode_t(0600));

        // Reading never creates the file; the first write makes its folders.
        const QString absent = m_dir.filePath("sub/dir/new.ini");
        QCOMPARE(Settings(absent).ReadOption("ArchPat", "yymmddhhmm"), QString("yymmddhhmm"));
        QVERIFY(!QFile::exists(absent));
        Settings(absent).WriteOption("Passw", "secret");
        QCOMPARE(statOf(absent).st_mode & 0777, mode_t(0600));
    }

    // A value as it stands after "=", in a file written by hand or by Qt's settings.
    void valuesReadBackAsTheyStand() {
        const QString path = m_dir.filePath("texts.ini");
        const Settings s(path);
        const std::pair<QByteArray, QString> lines[] = {
            {"Mmm Dd, YYYY", "Mmm Dd, YYYY"},
            {R"(a"b,c"d)", R"(a"b,c"d)"},
            {R"(C:\backup\new)", R"(C:\backup\new)"},
            {"  x; y ,z  ", "x; y ,z"},
            {R"("a,b;c")", "a,b;c"},
            {QByteArray(R"("t\ta \"q\"")"), "t\ta \"q\""},
            {"@@at", "@at"}};
        for (const auto& [line, value] : lines) {
            QVERIFY(writeFile(path, "[Archive]\nPassw=" + line + "\nUser=me\n"));
            QCOMPARE(s.ReadOption("passw", ""), value);
            QCOMPARE(s.ReadOption("User", ""), QString("me"));
        }
    }

    // Each written over the last, read back exactly here (blanks around a password included) and
    // by Qt's INI reader, which earlier builds used.
    void writtenValuesReadBack() {
        const QString path = m_dir.filePath("written.ini");
        Settings s(path);
        for (const QString& value :
             {QString("Mmm Dd, YYYY"), QString(R"(a"b,c"d)"), QString(R"("quoted")"),
              QString(R"(back\slash)"), QString("semi;colon"), QString("@at"), QString("x=y"),
              QString("ümlaut"), QString("tab\there"), QChar(1) + QString("ab"),
              QString("  blanks  "), QString(" pass word ")}) {
            s.WriteOption("Passw", value);
            QCOMPARE(s.ReadOption("passw", ""), value);
            QCOMPARE(QSettings(path, QSettings::IniFormat).value("Archive/Passw").toString(),
                     value);
        }
    }

    // A folder in the file's place is the session run test's.
    void unreadableFileGivesDefaultsAndIsLeftAlone_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("locked"); // mode 000
        QTest::newRow("no INI text") << QByteArray("isFTP 1\nStore /srv\n") << false;
        if (::geteuid() != 0) // root reads any file
            QTest::newRow("no permission") << QByteArray("[Archive]\nisFTP=1\n") << true;
    }

    void unreadableFileGivesDefaultsAndIsLeftAlone() {
        QFETCH(QByteArray, content);
        QFETCH(bool, locked);
        const QString path = m_dir.filePath(QTest::currentDataTag() + QString(".ini"));
        QVERIFY(writeFile(path, content));
        if (locked)
            QVERIFY(QFile::setPermissions(path, {}));
        Settings s(path);
        QVERIFY(!s.readProblem().isEmpty());
        QCOMPARE(s.ReadOption("isFTP", 0), QString("0"));
        QVERIFY_THROWS_EXCEPTION(VError, s.WriteOption("Ftp", "host"));
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
        QCOMPARE(readFile(path), content);
    }

    void truthValues() {
        for (const char* text : {"1", "-1", "True"})
            QVERIFY(optionIsTrue(text));
        for (const char* text : {"0", "False", "", "yes please"})
            QVERIFY(!optionIsTrue(text));
    }

    void severalKeysInOneSaveOrNone() {
        const QString path = m_dir.filePath("batch.ini");
        const QByteArray before = "[Archive]\nUser=old\nSTORE=/old\n";
        QVERIFY(writeFile(path, before));
        // A file-size limit below the new file's size makes the save fail part-way.
        ::signal(SIGXFSZ, SIG_IGN);
        rlimit limit{};
        QCOMPARE(::getrlimit(RLIMIT_FSIZE, &limit), 0);
        const rlimit small{1024, limit.rlim_max};
        QCOMPARE(::setrlimit(RLIMIT_FSIZE, &small), 0);
        const auto restore = qScopeGuard([&] { ::setrlimit(RLIMIT_FSIZE, &limit); });
        QVERIFY_THROWS_EXCEPTION(
            VError, Settings(path).WriteOptions({{"Store", "/new"}, {"User", QString(4096, 'u')}}));
        QCOMPARE(readFile(path), before);
        // Nothing is left beside the file.
        QCOMPARE(QDir(m_dir.path()).entryList({"batch.ini*"}, QDir::Files | QDir::Hidden),
                 QStringList{"batch.ini"});
    }
};

QTEST_GUILESS_MAIN(TestSettings)
#include "TestSettings.moc"
