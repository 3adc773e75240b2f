#include "BackupTestKit.h"
#include "backup/PackFiles.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

// Files past 4 GiB need zip64 entries; a sparse file gives one without using the disk.
class TestPackFilesZip64 : public QObject {
    Q_OBJECT

private slots:
    void fileOver4GiBIsPacked() {
        QTemporaryDir dir;
        const qint64 size = (qint64(4) << 30) + 12345;
        QVERIFY(writeFile(dir.filePath("big.img"), {}) &&
                QFile::resize(dir.filePath("big.img"), size));
        QVERIFY(writeFile(dir.filePath("after.txt"), "an entry behind the large one"));

        FileSlots fileSlots;
        fileSlots.set(1, dir.filePath("big.img"));
        fileSlots.set(2, dir.filePath("after.txt"));
        PackFiles(2, dir.filePath("a.zip"), fileSlots);

        const ArchiveContents got = readArchive(dir.filePath("a.zip"), ReadData::SkipOver4GiB);
        QVERIFY2(got.ok, qPrintable(got.error));
        QCOMPARE(got.names, (QStringList{"big.img", "after.txt"}));
        QCOMPARE(got.entries[0].size, quint64(size));
        // The entry behind it is found past the 4 GiB mark and reads back whole.
        QCOMPARE(got.entries[1].data, QByteArray("an entry behind the large one"));
    }
};

QTEST_GUILESS_MAIN(TestPackFilesZip64)
#include "TestPackFilesZip64.moc"
