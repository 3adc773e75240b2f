#include "TestFiles.h"
#include "common/Error.h"
#include "store/Settings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

class TestSettings : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString iniPath(const char* name) const { return m_dir.filePath(QLatin1String(name)); }

private slots:
    void defaultPathFollowsXdgConfigHome() {
        QCOMPARE(Settings::defaultFilePath(),
                 qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/Vodidore.ini"));
    }

    void keysMatchWithoutCaseAndValuesAreTrimmed() {
        const QString path = iniPath("case.ini");
        QVERIFY(writeFile(path, "[Archive]\nisFTP=1\nStore=  /srv/backups  \nFTPPAth=/up/\n"));
        const Settings s(path);
        QCOMPARE(s.ReadOption("IsFtp", false), QString("1"));
        QCOMPARE(s.ReadOption("store", "C:"), QString("/srv/backups"));
        QCOMPARE(s.ReadOption("ftppath", ""), QString("/up/"));
    }

    void missingKeysGiveTheDefaultText() {
        const Settings s(iniPath("absent.ini"));
        QCOMPARE(s.ReadOption("ArchPat", "yymmddhhmm"), QString("yymmddhhmm"));
        QCOMPARE(s.ReadOption("IsFtp", false), QString("False"));
        QCOMPARE(s.ReadOption("Port", 21), QString("21"));
        QCOMPARE(s.ReadOption("Ftp", "  padded default "), QString("padded default"));
        QVERIFY(!QFile::exists(iniPath("absent.ini"))); // reading never creates the file
    }

    void writeReplacesEveryCaseVariant() {
        const QString path = iniPath("variants.ini");
        QVERIFY(writeFile(path, "[Archive]\nISFTP=0\nIsFtp=0\nUser=me\n"));
        Settings s(path);
        s.WriteOption("isFTP", 1);
        QCOMPARE(s.ReadOption("IsFtp", false), QString("1"));
        const QString text = QString::fromUtf8(readFile(path));
        QCOMPARE(text.count("isftp", Qt::CaseInsensitive), 1);
        QVERIFY(text.contains("User=me"));
    }

    void fileIsPrivateAndRewrittenWhole() {
        const QString path = m_dir.filePath("sub/dir/private.ini");
        Settings s(path);
        s.WriteOption("Passw", "secret");
        struct stat st {};
        QCOMPARE(::stat(QFile::encodeName(path).constData(), &st), 0);
        QCOMPARE(st.st_mode & 0777, mode_t(0600));

        // A file others could read is tightened on the next write.
        ::chmod(QFile::encodeName(path).constData(), 0644);
        s.WriteOption("User", "me");
        QCOMPARE(::stat(QFile::encodeName(path).constData(), &st), 0);
        QCOMPARE(st.st_mode & 0777, mode_t(0600));

        // The file is replaced by rename, never truncated in place: the old inode stays whole.
        const auto inodeBefore = st.st_ino;
        s.WriteOption("Ftp", "ftp.example.org");
        QCOMPARE(::stat(QFile::encodeName(path).constData(), &st), 0);
        QVERIFY(st.st_ino != inodeBefore);
        QCOMPARE(s.ReadOption("Passw", ""), QString("secret"));
    }

    void valuesReadBackAsTheyStand_data() {
        QTest::addColumn<QByteArray>("line"); // as it stands after "Passw=", empty: by WriteOption
        QTest::addColumn<QString>("value");
        QTest::newRow("comma, by hand") << QByteArray("Mmm Dd, YYYY") << "Mmm Dd, YYYY";
        QTest::newRow("quotes inside, by hand") << QByteArray(R"(a"b,c"d)") << R"(a"b,c"d)";
        QTest::newRow("backslashes, by hand")
            << QByteArray(R"(C:\backup\new)") << R"(C:\backup\new)";
        QTest::newRow("semicolon, blanks, by hand") << QByteArray("  x; y ,z  ") << "x; y ,z";
        QTest::newRow("quoted by Qt") << QByteArray(R"("a,b;c")") << "a,b;c";
        QTest::newRow("escaped in quotes by Qt") << QByteArray(R"("t\ta \"q\"")") << "t\ta \"q\"";
        QTest::newRow("leading @ by Qt") << QByteArray("@@at") << "@at";
        for (const QString& value :
             {QString("Mmm Dd, YYYY"), QString(R"(a"b,c"d)"), QString(R"("quoted")"),
              QString(R"(back\slash)"), QString("semi;colon"), QString("@at"), QString("x=y"),
              QString("ümlaut"), QString("tab\there"),
              QString("\x01"
                      "ab")}) {
            QTest::newRow(qPrintable("written: " + value)) << QByteArray() << value;
        }
    }

    void valuesReadBackAsTheyStand() {
        QFETCH(QByteArray, line);
        QFETCH(QString, value);
        const QString path = iniPath("texts.ini");
        QFile::remove(path);
        Settings s(path);
        if (line.isEmpty()) {
            s.WriteOption("Passw", value);
            // Earlier builds read the file with Qt's own INI reader.
            QSettings old(path, QSettings::IniFormat);
            QCOMPARE(old.value("Archive/Passw").toString(), value);
        } else {
            QVERIFY(writeFile(path, "[Archive]\nPassw=" + line + "\nUser=me\n"));
        }
        QCOMPARE(s.ReadOption("passw", ""), value);
        QCOMPARE(s.ReadOption("User", ""), line.isEmpty() ? QString() : QString("me"));
        s.WriteOption("Passw", "  blanks  ");
        QCOMPARE(s.ReadOption("Passw", ""), QString("blanks"));
    }

    void unreadableFileGivesDefaultsAndIsLeftAlone_data() {
        QTest::addColumn<QByteArray>("content"); // empty: a folder
        QTest::addColumn<bool>("locked");        // mode 000
        QTest::newRow("binary") << QByteArray("PK\x03\x04\x00\x01[Archive]\nisFTP=1\n", 22)
                                << false;
        QTest::newRow("no INI text") << QByteArray("isFTP 1\nStore /srv\n") << false;
        QTest::newRow("folder") << QByteArray() << false;
        if (::geteuid() != 0) { // root reads any file
            QTest::newRow("no permission") << QByteArray("[Archive]\nisFTP=1\n") << true;
        }
    }

    void unreadableFileGivesDefaultsAndIsLeftAlone() {
        QFETCH(QByteArray, content);
        QFETCH(bool, locked);
        const QString path = m_dir.filePath(QTest::currentDataTag() + QString(".ini"));
        if (content.isEmpty()) {
            QVERIFY(QDir().mkpath(path));
        } else {
            QVERIFY(writeFile(path, content));
        }
        if (locked) {
            QVERIFY(QFile::setPermissions(path, {}));
        }
        Settings s(path);
        QVERIFY(!s.readProblem().isEmpty());
        QCOMPARE(s.ReadOption("isFTP", 0), QString("0"));
        QVERIFY_THROWS_EXCEPTION(VError, s.WriteOption("Ftp", "host"));
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
        QCOMPARE(readFile(path), content);
        QCOMPARE(QFileInfo(path).isDir(), content.isEmpty());
    }

    void truthValues() {
        for (const char* text : {"1", "-1", "True"})
            QVERIFY(optionIsTrue(text));
        for (const char* text : {"0", "False", "", "yes please"})
            QVERIFY(!optionIsTrue(text));
    }

    void severalKeysInOneSaveOrNone() {
        const QString path = iniPath("batch.ini");
        QVERIFY(writeFile(path, "[Archive]\nUser=old\nSTORE=/old\n"));
        const QByteArray before = readFile(path);
        Settings s(path);
        const QList<std::pair<QString, QVariant>> values{
            {"Store", "/new"}, {"User", QString(4096, QLatin1Char('u'))}, {"isFTP", "1"}};

        // A file-size limit below the new file's size makes the save fail part-way.
        ::signal(SIGXFSZ, SIG_IGN);
        rlimit limit{};
        QCOMPARE(::getrlimit(RLIMIT_FSIZE, &limit), 0);
        const rlimit small{1024, limit.rlim_max};
        QCOMPARE(::setrlimit(RLIMIT_FSIZE, &small), 0);
        bool raised = false;
        try {
            s.WriteOptions(values);
        } catch (const VError&) {
            raised = true;
        }
        QCOMPARE(::setrlimit(RLIMIT_FSIZE, &limit), 0);
        QVERIFY(raised);
        QCOMPARE(readFile(path), before);

        s.WriteOptions(values);
        QCOMPARE(s.ReadOption("store", ""), QString("/new"));
        QCOMPARE(s.ReadOption("user", "").size(), 4096);
        QCOMPARE(s.ReadOption("IsFtp", ""), QString("1"));
        // Nothing is left beside the file, after a failed save or a good one.
        QCOMPARE(QDir(m_dir.path()).entryList({"batch.ini*"}, QDir::Files | QDir::Hidden),
                 QStringList{"batch.ini"});
    }
};

QTEST_GUILESS_MAIN(TestSettings)
#include "TestSettings.moc"
