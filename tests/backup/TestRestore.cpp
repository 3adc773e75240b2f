#include "BackupTestKit.h"
#include "FtpServer.h"
#include "backup/ArchiveCheck.h"
#include "backup/PackFiles.h"
#include "backup/Restore.h"
#include "store/Settings.h"

#include <QtEndian>
#include <QtTest>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zip.h>

namespace {

// An archive member made by hand: names no packer would write, links, Unix modes.
struct Member {
    QByteArray name;
    QByteArray data;
    unsigned mode = 0; // type and permission bits; 0: an entry from another system
};

bool writeZip(const QString& path, const std::vector<Member>& members) {
    zip_t* z = zip_open(QFile::encodeName(path), ZIP_CREATE | ZIP_TRUNCATE, nullptr);
    for (const Member& m : members) {
        zip_source_t* s = zip_source_buffer(z, m.data.constData(), zip_uint64_t(m.data.size()), 0);
        const zip_int64_t i = zip_file_add(z, m.name, s, 0);
        zip_set_file_compression(z, zip_uint64_t(i), ZIP_CM_STORE, 0);
        if (m.mode)
            zip_file_set_external_attributes(z, zip_uint64_t(i), 0, ZIP_OPSYS_UNIX, m.mode << 16);
    }
    return zip_close(z) == 0;
}

// What a restore must keep of a path: kind, mode, time to the second, bytes or link target.
QString facts(const QString& path, bool modes) {
    struct stat st {};
    if (::lstat(QFile::encodeName(path), &st) != 0)
        return "missing";
    if (S_ISLNK(st.st_mode))
        return "link to " + QFile::symLinkTarget(path).section('/', -1);
    const QString mode = modes ? QString::number(st.st_mode & 07777, 8) : QString();
    if (S_ISDIR(st.st_mode))
        return "folder " + mode;
    return QStringLiteral("file %1 %2 ").arg(mode).arg(st.st_mtime) + readFile(path);
}

void setTime(const QString& path, std::time_t when) {
    const timespec times[2] = {{when, 0}, {when, 0}};
    ::utimensat(AT_FDCWD, QFile::encodeName(path), times, AT_SYMLINK_NOFOLLOW);
}

// `item` packed as Info-ZIP's zip (run beside it, links kept as links) or the packer does it.
bool makeArchive(const QString& tool, const QString& item, const QString& archive) {
    if (tool == "packer") {
        FileSlots fileSlots;
        fileSlots.set(1, item);
        PackFiles(1, archive, fileSlots);
        return true;
    }
    QProcess zip;
    zip.setWorkingDirectory(QFileInfo(item).path());
    zip.start("zip", {"-qry", archive, QFileInfo(item).fileName()});
    return zip.waitForFinished() && zip.exitCode() == 0;
}

// Flips one byte in the middle of the first member's data.
void corruptFirstMember(const QString& path) {
    QFile f(path);
    f.open(QIODevice::ReadWrite);
    QByteArray bytes = f.readAll();
    const int nameLength = uchar(bytes[26]) | uchar(bytes[27]) << 8;
    const int extraLength = uchar(bytes[28]) | uchar(bytes[29]) << 8;
    const int compressed = int(qFromLittleEndian<quint32>(bytes.constData() + 18));
    bytes[30 + nameLength + extraLength + compressed / 2] ^= 0x20;
    f.seek(0);
    f.write(bytes);
}

} // namespace

// Archives made by Info-ZIP's zip, by the packer and by hand, restored into a fresh folder.
class TestRestore : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    EventLogLines m_log;

    QString path(const QString& relative) const { return m_dir->filePath(relative); }
    RestoreOutcome restore(const QString& archive, const ExistingQuestion& ask = {},
                           const RestoreProgress& progress = {}) {
        return restoreArchive({archive, path("target"), {}}, m_log, ask, progress);
    }
    QString lastLine() const {
        return m_log.lines().empty() ? QString() : m_log.lines().back().text;
    }

private slots:
    void init() {
        m_dir = std::make_unique<QTemporaryDir>();
        m_log.clear();
    }

    void restoresBytesTimesModesAndLinks_data() {
        QTest::addColumn<QString>("tool");
        QTest::addColumn<bool>("modes");
        QTest::addColumn<QStringList>("paths");
        // DOS times have two-second steps: the odd seconds below need the extended timestamp.
        const QStringList all{"tree/notes.txt", "tree/bin", "tree/bin/run.sh", "tree/bin/latest",
                              "tree/up"};
        QTest::newRow("zip -y") << "zip" << true << all;
        QTest::newRow("packer") << "packer" << false << QStringList{"tree/bin/run.sh"};
    }

    void restoresBytesTimesModesAndLinks() {
        QFETCH(QString, tool);
        QFETCH(bool, modes);
        QFETCH(QStringList, paths);
        QVERIFY(writeFile(path("tree/notes.txt"), "private\n") &&
                writeFile(path("tree/bin/run.sh"), "#!/bin/sh\n"));
        QFile::setPermissions(path("tree/notes.txt"), QFile::ReadOwner | QFile::WriteOwner);
        QFile::setPermissions(path("tree/bin/run.sh"), QFile::ReadOwner | QFile::WriteOwner |
                                                           QFile::ExeOwner | QFile::ReadOther);
        QVERIFY(QFile::link("run.sh", path("tree/bin/latest")) &&
                QFile::link("bin", path("tree/up")));
        setTime(path("tree/notes.txt"), 1600000001);
        setTime(path("tree/bin/run.sh"), 1600000004);
        const QString archive = path("a.zip");
        QVERIFY(makeArchive(tool, path("tree"), archive));
        const RestoreOutcome outcome = restore(archive);
        QVERIFY2(outcome.complete(), qPrintable(lastLine()));
        for (const QString& p : paths)
            QCOMPARE(facts(path("target/" + p), modes), facts(path(p), modes));
    }

    void neverWritesOutsideTheTarget_data() {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<bool>("throughLink");
        QTest::newRow("../x") << QByteArray("../outside/x") << false;
        QTest::newRow("climbing inside") << QByteArray("a/../../outside/x") << false;
        QTest::newRow("absolute") << QByteArray() << false;
        QTest::newRow("through a link it made") << QByteArray("door/x") << true;
    }

    void neverWritesOutsideTheTarget() {
        QFETCH(QByteArray, name);
        QFETCH(bool, throughLink);
        QVERIFY(QDir().mkpath(path("outside")));
        if (name.isEmpty())
            name = QFile::encodeName(path("outside/x"));
        std::vector<Member> members;
        if (throughLink)
            members.push_back({"door", QFile::encodeName(path("outside")), S_IFLNK | 0777});
        members.push_back({name, "planted", S_IFREG | 0644});
        QVERIFY(writeZip(path("bad.zip"), members));
        const RestoreOutcome outcome = restore(path("bad.zip"));
        QCOMPARE(listing(path("outside")), QStringList());
        QCOMPARE(outcome.failed, 1);
        QVERIFY(std::any_of(m_log.lines().begin(), m_log.lines().end(), [&](const auto& line) {
            return line.icon == IconFailure &&
                   line.text.startsWith("Not restored: " + QString::fromUtf8(name));
        }));
    }

    void fileInTheWayIsReplacedOnlyWhenAsked_data() {
        QTest::addColumn<int>("answer"); // -1: nobody to ask
        QTest::addColumn<bool>("forAll");
        QTest::addColumn<int>("asked");
        QTest::addColumn<QStringList>("after");
        QTest::newRow("nobody asked") << -1 << false << 0 << QStringList{"a.txt=old", "b.txt=old"};
        QTest::newRow("skip") << int(ExistingAnswer::Skip) << false << 2
                              << QStringList{"a.txt=old", "b.txt=old"};
        QTest::newRow("overwrite for all")
            << int(ExistingAnswer::Overwrite) << true << 1 << QStringList{"a.txt=new", "b.txt=new"};
        QTest::newRow("keep both")
            << int(ExistingAnswer::KeepBoth) << false << 2
            << QStringList{"a (2).txt=new", "a.txt=old", "b (2).txt=new", "b.txt=old"};
    }

    void fileInTheWayIsReplacedOnlyWhenAsked() {
        QFETCH(int, answer);
        QFETCH(bool, forAll);
        QFETCH(int, asked);
        QFETCH(QStringList, after);
        QVERIFY(writeFile(path("target/a.txt"), "old") && writeFile(path("target/b.txt"), "old"));
        QVERIFY(writeZip(path("new.zip"), {{"a.txt", "new"}, {"b.txt", "new"}}));
        int questions = 0;
        ExistingQuestion ask;
        if (answer >= 0)
            ask = [&](const QString&) {
                ++questions;
                return ExistingChoice{ExistingAnswer(answer), forAll};
            };
        restore(path("new.zip"), ask);
        QCOMPARE(questions, asked);
        QStringList contents;
        for (const QString& name : listing(path("target")))
            contents << name + "=" + readFile(path("target/" + name));
        QCOMPARE(contents, after);
    }

    void cancelledRestoreLeavesNoPartialFile() {
        QVERIFY(writeFile(path("target/big.bin"), "earlier"));
        QVERIFY(writeZip(path("big.zip"), {{"big.bin", randomBytes(4 << 20, 7)}}));
        const RestoreOutcome outcome = restore(
            path("big.zip"),
            [](const QString&) { return ExistingChoice{ExistingAnswer::Overwrite}; },
            [](const QString&, qint64 done, qint64 total) { return done < total / 2; });
        QVERIFY(outcome.cancelled);
        QCOMPARE(listing(path("target")), QStringList{"big.bin"});
        QCOMPARE(readFile(path("target/big.bin")), QByteArray("earlier"));
    }

    void checkFindsOneChangedByte_data() {
        QTest::addColumn<QString>("tool");
        QTest::addColumn<bool>("corrupt");
        for (const char* tool : {"zip", "packer"}) {
            QTest::addRow("%s, whole", tool) << tool << false;
            QTest::addRow("%s, one byte changed", tool) << tool << true;
        }
    }

    void checkFindsOneChangedByte() {
        QFETCH(QString, tool);
        QFETCH(bool, corrupt);
        QVERIFY(writeFile(path("notes.txt"), QByteArray("a line of notes\n").repeated(500)));
        const QString archive = path("a.zip");
        QVERIFY(makeArchive(tool, path("notes.txt"), archive));
        if (corrupt)
            corruptFirstMember(archive);
        QCOMPARE(checkArchive(archive).isEmpty(), !corrupt);
    }

    void runWithABadArchiveFailsAndKeepsIt_data() {
        QTest::addColumn<bool>("corrupt");
        QTest::newRow("whole") << false;
        QTest::newRow("one byte changed after packing") << true;
    }

    void runWithABadArchiveFailsAndKeepsIt() {
        QFETCH(bool, corrupt);
        Settings settings(path("Vodidore.ini"));
        settings.WriteOption("Store", path("store"));
        QVERIFY(QDir().mkpath(path("store")) &&
                writeFile(path("notes.txt"), QByteArray("a line of notes\n").repeated(500)));
        SessionRun run = sessionRun(settings);
        run.setArchiveCheck([corrupt](const QString& archive, const QString&) {
            if (corrupt)
                corruptFirstMember(archive);
            return checkArchive(archive);
        });
        EventLogLines log;
        QCOMPARE(run.LPack({path("notes.txt")}, log).failed(), corrupt);
        QVERIFY(QFile::exists(path("store/" + ArchiveName)));
        QCOMPARE(log.lines().empty() ? QString() : log.lines().back().text.section(' ', 0, 1),
                 corrupt ? "The archive" : "");
    }
};

QTEST_GUILESS_MAIN(TestRestore)
#include "TestRestore.moc"
