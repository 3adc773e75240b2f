#include "ArchiveReader.h"
#include "backup/PackFiles.h"
#include "common/Error.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <utime.h>
#include <zip.h>

namespace {

// An mtime with an even second: zip entries keep time to two seconds.
const QDateTime Stamp(QDate(2024, 3, 10), QTime(12, 34, 56));

void writeFile(const QString& path, const QByteArray& data, const QDateTime& mtime = Stamp) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    QVERIFY2(f.open(QIODevice::WriteOnly | QIODevice::Truncate), qPrintable(path));
    f.write(data);
    f.close();
    QVERIFY(f.open(QIODevice::ReadWrite));
    QVERIFY(f.setFileTime(mtime, QFileDevice::FileModificationTime));
}

void setFolderTime(const QString& path, const QDateTime& mtime = Stamp) {
    const utimbuf times{mtime.toSecsSinceEpoch(), mtime.toSecsSinceEpoch()};
    QCOMPARE(::utime(QFile::encodeName(path).constData(), &times), 0);
}

QByteArray randomBytes(int n, quint32 seed) {
    QRandomGenerator gen(seed);
    QByteArray out(n, Qt::Uninitialized);
    gen.fillRange(reinterpret_cast<quint32*>(out.data()), n / 4);
    return out;
}

QByteArray textBytes(int n) {
    QByteArray out;
    for (int i = 0; out.size() < n; ++i) {
        out += "2026-12-05 14:30:15 backup line " + QByteArray::number(i % 97) + " ok\n";
    }
    out.truncate(n);
    return out;
}

FileSlots slotsOf(const QStringList& paths) {
    FileSlots fileSlots;
    for (int k = 0; k < paths.size(); ++k) {
        fileSlots.set(k, paths[k]);
    }
    return fileSlots;
}

} // namespace

class TestPackFiles : public QObject {
    Q_OBJECT

private slots:
    void init();
    void folderPackedWithEverythingBelowIt_data();
    void folderPackedWithEverythingBelowIt();
    void existingArchiveGetsSameNamedEntriesReplaced();
    void failureLeavesNoArchive_data();
    void failureLeavesNoArchive();
    void incompressibleDataIsStored();
    void fileChangingWhilePackedIsPackedAsRead_data();
    void fileChangingWhilePackedIsPackedAsRead();

private:
    QString path(const QString& relative) const { return m_dir->filePath(relative); }
    QStringList folderListing(const QString& folder) const;

    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestPackFiles::init() {
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    QVERIFY(QDir().mkpath(path(QStringLiteral("store"))));
}

QStringList TestPackFiles::folderListing(const QString& folder) const {
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
}

void TestPackFiles::folderPackedWithEverythingBelowIt_data() {
    QTest::addColumn<QString>("slot");
    QTest::newRow("plain") << "data/docs";
    QTest::newRow("trailing slash") << "data/docs/";
}

void TestPackFiles::folderPackedWithEverythingBelowIt() {
    QFETCH(QString, slot);
    writeFile(path("data/docs/a.txt"), "A");
    writeFile(path("data/docs/sub/b.bin"), randomBytes(4096, 7));
    writeFile(path("data/other.txt"), "not below the folder, and slot 0 is never read");
    writeFile(path("data/deep/notes.txt"), "a file goes in under its own name");
    QVERIFY(QDir().mkpath(path("data/docs/empty")));
    for (const char* folder : {"data/docs/empty", "data/docs/sub", "data/docs"}) {
        setFolderTime(path(folder));
    }

    const QString archive = path("store/a.zip");
    PackFiles(2, archive,
              slotsOf({path("data/other.txt"), path(slot), path("data/deep/notes.txt")}));

    const ArchiveContents got = readArchive(archive);
    QVERIFY2(got.ok, qPrintable(got.error));
    QCOMPARE(got.names(), (QStringList{"docs/", "docs/a.txt", "docs/empty/", "docs/sub/",
                                       "docs/sub/b.bin", "notes.txt"}));
    QCOMPARE(got.find("docs/a.txt")->data, QByteArray("A"));
    QCOMPARE(got.find("docs/sub/b.bin")->data, randomBytes(4096, 7));
    for (const ArchiveEntry& e : got.entries) {
        QCOMPARE(e.mtime, Stamp.toSecsSinceEpoch());
    }
}

void TestPackFiles::existingArchiveGetsSameNamedEntriesReplaced() {
    writeFile(path("data/a.txt"), "first run");
    writeFile(path("data/b.txt"), "only in the first run");
    const QString archive = path("store/a.zip");
    PackFiles(2, archive, slotsOf({QString(), path("data/a.txt"), path("data/b.txt")}));

    writeFile(path("data/a.txt"), "second run, longer than the first");
    writeFile(path("data/c.txt"), "new");
    PackFiles(2, archive, slotsOf({QString(), path("data/a.txt"), path("data/c.txt")}));

    const ArchiveContents got = readArchive(archive);
    QVERIFY2(got.ok, qPrintable(got.error));
    QCOMPARE(got.names(), (QStringList{"a.txt", "b.txt", "c.txt"}));
    QCOMPARE(got.find("a.txt")->data, QByteArray("second run, longer than the first"));
    QCOMPARE(got.find("b.txt")->data, QByteArray("only in the first run"));
    QCOMPARE(folderListing(path("store")), QStringList{"a.zip"});
}

void TestPackFiles::failureLeavesNoArchive_data() {
    QTest::addColumn<bool>("archiveExisted");
    QTest::addColumn<QString>("failure");
    for (bool existed : {false, true}) {
        const char* suffix = existed ? " over an existing archive" : "";
        QTest::newRow(QByteArray("missing path") + suffix) << existed << "missing path";
        QTest::newRow(QByteArray("file gone before it is read") + suffix) << existed << "file gone";
        QTest::newRow(QByteArray("file in a folder gone before it is read") + suffix)
            << existed << "folder file gone";
    }
    QTest::newRow("store folder missing") << false << "no store";
}

void TestPackFiles::failureLeavesNoArchive() {
    QFETCH(bool, archiveExisted);
    QFETCH(QString, failure);
    writeFile(path("data/keep.txt"), textBytes(300000));
    writeFile(path("data/doomed.txt"), "read too late");
    QString archive = path("store/a.zip");
    if (archiveExisted) {
        PackFiles(1, archive, slotsOf({QString(), path("data/keep.txt")}));
    }
    const QByteArray before = archiveExisted ? [&] {
        QFile f(archive);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }()
                                             : QByteArray();

    QString expectedInMessage;
    try {
        ZipPacker packer;
        if (failure == "no store") {
            archive = path("nowhere/a.zip");
            expectedInMessage = archive;
            packer.Pack(path("data/keep.txt"), archive);
        } else if (failure == "missing path") {
            expectedInMessage = path("data/missing.txt");
            packer.Pack(path("data/keep.txt"), archive);
            packer.Pack(expectedInMessage, archive);
        } else if (failure == "file gone") {
            expectedInMessage = path("data/doomed.txt");
            packer.Pack(path("data/keep.txt"), archive);
            packer.Pack(expectedInMessage, archive);
            QVERIFY(QFile::remove(expectedInMessage));
        } else {
            writeFile(path("data/dir/x.txt"), "x");
            expectedInMessage = path("data/dir/x.txt");
            packer.Pack(path("data/keep.txt"), archive);
            packer.Pack(path("data/dir"), archive);
            QVERIFY(QFile::remove(expectedInMessage));
        }
        packer.close();
        QFAIL("packing did not fail");
    } catch (const VError& error) {
        QVERIFY2(error.description().contains(expectedInMessage), qPrintable(error.description()));
        QCOMPARE(error.number(), UnspecifiedErrorNumber);
    }

    // The old archive (or none) and nothing else: no temporary file is left behind.
    QCOMPARE(folderListing(path("store")), archiveExisted ? QStringList{"a.zip"} : QStringList());
    QVERIFY(!QFile::exists(path("nowhere")));
    if (archiveExisted) {
        QFile f(archive);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), before);
    }
}

void TestPackFiles::incompressibleDataIsStored() {
    const QByteArray random = randomBytes(1 << 20, 11);
    const QByteArray text = textBytes(1 << 20);
    QByteArray mixed = textBytes(400000) + randomBytes(400000, 12);
    writeFile(path("data/random.bin"), random);
    writeFile(path("data/log.txt"), text);
    writeFile(path("data/mixed.bin"), mixed);
    writeFile(path("data/small-random.bin"), randomBytes(1000, 13));
    const QString archive = path("store/a.zip");
    PackFiles(1, archive, slotsOf({QString(), path("data")}));

    const ArchiveContents got = readArchive(archive);
    QVERIFY2(got.ok, qPrintable(got.error));
    const ArchiveEntry* r = got.find("data/random.bin");
    const ArchiveEntry* t = got.find("data/log.txt");
    const ArchiveEntry* m = got.find("data/mixed.bin");
    QVERIFY(r && t && m);
    QCOMPARE(r->method, ZIP_CM_STORE);
    QCOMPARE(r->data, random);
    QCOMPARE(t->method, ZIP_CM_DEFLATE);
    QVERIFY(t->compressedSize < t->size / 10);
    QCOMPARE(t->data, text);
    // Compressible at its start, random in its middle: still worth deflating.
    QCOMPARE(m->method, ZIP_CM_DEFLATE);
    QCOMPARE(m->data, mixed);
    QCOMPARE(got.find("data/small-random.bin")->data, randomBytes(1000, 13));
}

void TestPackFiles::fileChangingWhilePackedIsPackedAsRead_data() {
    QTest::addColumn<QByteArray>("atPack");
    QTest::addColumn<QByteArray>("atRead");
    QTest::newRow("grows") << textBytes(1000) << textBytes(500000);
    QTest::newRow("grows, large") << randomBytes(300000, 3) << randomBytes(900000, 3);
    QTest::newRow("shrinks") << textBytes(500000) << textBytes(10);
    QTest::newRow("shrinks, large") << randomBytes(900000, 4) << randomBytes(300000, 4);
    QTest::newRow("emptied") << textBytes(5000) << QByteArray();
}

void TestPackFiles::fileChangingWhilePackedIsPackedAsRead() {
    QFETCH(QByteArray, atPack);
    QFETCH(QByteArray, atRead);
    writeFile(path("data/app.log"), atPack);
    writeFile(path("data/steady.txt"), "steady");
    const QString archive = path("store/a.zip");
    {
        ZipPacker packer;
        packer.Pack(path("data/app.log"), archive);
        packer.Pack(path("data/steady.txt"), archive);
        writeFile(path("data/app.log"), atRead);
        packer.close();
    }
    const ArchiveContents got = readArchive(archive);
    QVERIFY2(got.ok, qPrintable(got.error));
    QCOMPARE(got.names(), (QStringList{"app.log", "steady.txt"}));
    QCOMPARE(got.find("app.log")->data, atRead);
    QCOMPARE(got.find("app.log")->size, quint64(atRead.size()));
    QCOMPARE(got.find("steady.txt")->data, QByteArray("steady"));
}

QTEST_GUILESS_MAIN(TestPackFiles)
#include "TestPackFiles.moc"
