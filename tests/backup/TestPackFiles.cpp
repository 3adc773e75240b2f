#include "BackupTestKit.h"
#include "backup/PackFiles.h"
#include "common/Error.h"

#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utime.h>

namespace {

QByteArray randomBytes(int n, quint32 seed) {
    QByteArray out(n, Qt::Uninitialized);
    QRandomGenerator(seed).fillRange(reinterpret_cast<quint32*>(out.data()), n / 4);
    return out;
}

QByteArray textBytes(int n) {
    return QByteArray("2026-12-05 14:30:15 backup line ok\n").repeated(n / 35 + 1).left(n);
}

} // namespace

class TestPackFiles : public QObject {
    Q_OBJECT

    QString path(const QString& relative) const { return m_dir->filePath(relative); }

    void pack(const QStringList& relativePaths, const QString& archive = "store/a.zip") const {
        ZipPacker packer;
        for (const QString& relative : relativePaths) {
            packer.Pack(path(relative), path(archive));
        }
        packer.close();
    }

    std::unique_ptr<QTemporaryDir> m_dir;

private slots:
    void init() {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(QDir().mkpath(path("store")));
    }

    void folderPackedWithEverythingBelowIt() {
        QVERIFY(writeFile(path("data/docs/a.txt"), "A"));
        QVERIFY(writeFile(path("data/docs/sub/b.bin"), randomBytes(4096, 7)));
        QVERIFY(writeFile(path("data/deep/notes.txt"), "a file goes in under its own name"));
        QVERIFY(QDir().mkpath(path("data/docs/empty")));
        // An even second: zip entries keep time to two seconds.
        const qint64 stamp = QDateTime(QDate(2024, 3, 10), QTime(12, 34, 56)).toSecsSinceEpoch();
        for (const char* name : {"data/docs/a.txt", "data/docs/sub/b.bin", "data/deep/notes.txt",
                                 "data/docs/empty", "data/docs/sub", "data/docs"}) {
            const utimbuf times{stamp, stamp};
            QCOMPARE(::utime(QFile::encodeName(path(name)).constData(), &times), 0);
        }
        for (const QString folder : {"data/docs", "data/docs/"}) {
            pack({folder, "data/deep/notes.txt"});
            const ArchiveContents got = readArchive(path("store/a.zip"));
            QVERIFY2(got.ok, qPrintable(got.error));
            QCOMPARE(got.names, (QStringList{"docs/", "docs/a.txt", "docs/empty/", "docs/sub/",
                                             "docs/sub/b.bin", "notes.txt"}));
            QCOMPARE(got.data("docs/a.txt"), QByteArray("A"));
            QCOMPARE(got.data("docs/sub/b.bin"), randomBytes(4096, 7));
            for (const ArchiveEntry& e : got.entries) {
                QCOMPARE(e.mtime, stamp);
            }
            QVERIFY(QFile::remove(path("store/a.zip")));
        }
    }

    void existingArchiveGetsSameNamedEntriesReplaced() {
        // Two runs in one minute pack into the same archive.
        QVERIFY(writeFile(path("data/a.txt"), "first run"));
        QVERIFY(writeFile(path("data/b.txt"), "only in the first run"));
        pack({"data/a.txt", "data/b.txt"});
        QVERIFY(writeFile(path("data/a.txt"), "second run, longer than the first"));
        QVERIFY(writeFile(path("data/c.txt"), "new"));
        pack({"data/a.txt", "data/c.txt"});

        const ArchiveContents got = readArchive(path("store/a.zip"));
        QVERIFY2(got.ok, qPrintable(got.error));
        QCOMPARE(got.names, (QStringList{"a.txt", "b.txt", "c.txt"}));
        QCOMPARE(got.data("a.txt"), QByteArray("second run, longer than the first"));
        QCOMPARE(got.data("b.txt"), QByteArray("only in the first run"));
        QCOMPARE(listing(path("store")), QStringList{"a.zip"});
    }

    void entryNames_data() {
        QTest::addColumn<QList<QByteArray>>("files"); // written below the temp folder
        QTest::addColumn<QStringList>("packed");
        QTest::addColumn<int>("runs"); // into the same archive, as runs in one minute
        // "name" for a folder, "name=file" for a file holding that file's own path.
        QTest::addColumn<QList<QByteArray>>("entries");
        const QList<QByteArray> reports{"a/report.txt", "b/report.txt", "c/report.txt"};
        // clang-format off
        QTest::newRow("same file name in one packing") << reports << QStringList{"a/report.txt", "b/report.txt", "c/report.txt"} << 1
            << QList<QByteArray>{"report.txt=a/report.txt", "report (2).txt=b/report.txt", "report (3).txt=c/report.txt"};
        QTest::newRow("same name again in the next run") << reports << QStringList{"a/report.txt", "b/report.txt"} << 2
            << QList<QByteArray>{"report.txt=a/report.txt", "report (2).txt=b/report.txt"};
        QTest::newRow("same folder name, and a file") << QList<QByteArray>{"a/Documents/x", "b/Documents/y", "c/Documents"}
            << QStringList{"a/Documents", "b/Documents", "c/Documents"} << 1
            << QList<QByteArray>{"Documents/", "Documents/x=a/Documents/x", "Documents (2)/", "Documents (2)/y=b/Documents/y", "Documents (3)=c/Documents"};
        QTest::newRow("names not UTF-8 kept as they are") << QList<QByteArray>{"d/caf\xe9.txt", "d/caf\xe8.txt", "d/\xc3\x9c.txt"} << QStringList{"d"} << 2
            << QList<QByteArray>{"d/", "d/caf\xe8.txt=d/caf\xe8.txt", "d/caf\xe9.txt=d/caf\xe9.txt", "d/\xc3\x9c.txt=d/\xc3\x9c.txt"};
        // clang-format on
    }

    void entryNames() {
        QFETCH(QList<QByteArray>, files);
        QFETCH(QStringList, packed);
        QFETCH(int, runs);
        QFETCH(QList<QByteArray>, entries);
        const QByteArray root = QFile::encodeName(m_dir->path()) + '/';
        // QTemporaryDir cannot remove names that are not UTF-8.
        const auto removeFiles = qScopeGuard([&] {
            for (const QByteArray& file : files) {
                ::unlink(root + file);
            }
        });
        for (const QByteArray& file : files) {
            // Not through QString, which cannot hold names that are not UTF-8.
            QVERIFY(QDir().mkpath(path(QString::fromUtf8(file).section('/', 0, -2))));
            QFile out;
            const int fd = ::open(root + file, O_WRONLY | O_CREAT | O_EXCL, 0644);
            QVERIFY(out.open(fd, QIODevice::WriteOnly, QFile::AutoCloseHandle));
            QCOMPARE(out.write(file), file.size());
        }
        for (int run = 0; run < runs; ++run) {
            pack(packed);
        }
        const ArchiveContents got = readArchive(path("store/a.zip"));
        QVERIFY2(got.ok, qPrintable(got.error));
        QList<QByteArray> seen;
        for (qsizetype i = 0; i < got.rawNames.size(); ++i) {
            const ArchiveEntry& entry = got.entries[size_t(i)];
            seen << got.rawNames[i] + (entry.name.endsWith('/') ? QByteArray() : "=" + entry.data);
        }
        QCOMPARE(seen, entries);
    }

    void failureLeavesNoArchive_data() {
        QTest::addColumn<bool>("existed"); // an archive from an earlier run
        QTest::addColumn<QString>("packed");
        QTest::addColumn<QString>("gone"); // before it is read
        // clang-format off
        QTest::newRow("file gone") << false << "data/doomed.txt" << "data/doomed.txt";
        QTest::newRow("file gone, over an existing archive") << true << "data/doomed.txt" << "data/doomed.txt";
        QTest::newRow("file in a folder gone") << false << "data/dir" << "data/dir/x.txt";
        // clang-format on
    }

    void failureLeavesNoArchive() {
        QFETCH(bool, existed);
        QFETCH(QString, packed);
        QFETCH(QString, gone);
        QVERIFY(writeFile(path("data/keep.txt"), "kept"));
        QVERIFY(writeFile(path("data/doomed.txt"), "read too late"));
        QVERIFY(writeFile(path("data/dir/x.txt"), "x"));
        if (existed) {
            pack({"data/keep.txt"});
        }
        try {
            ZipPacker packer;
            packer.Pack(path("data/keep.txt"), path("store/a.zip"));
            packer.Pack(path(packed), path("store/a.zip"));
            QVERIFY(QFile::remove(path(gone)));
            packer.close();
            QFAIL("packing did not fail");
        } catch (const VError& error) {
            QVERIFY2(error.description().contains(path(gone)), qPrintable(error.description()));
            QCOMPARE(error.number(), UnspecifiedErrorNumber);
        }
        // The old archive (or none) and nothing else: no temporary file is left behind.
        QCOMPARE(listing(path("store")), existed ? QStringList{"a.zip"} : QStringList());
        QCOMPARE(readArchive(path("store/a.zip")).names,
                 existed ? QStringList{"keep.txt"} : QStringList());
    }

    // A run killed while it packs (the process ended at once) leaves nothing under the archive's
    // name, and the next packing into that store removes what it left. Files of the user's with
    // names like a packer's temporary files stay.
    void killedPackingIsClearedByTheNext() {
        // Sparse: made and read at once, but slow enough to deflate to be caught in the middle.
        QFile big(path("data/big.bin"));
        QVERIFY(QDir().mkpath(path("data")) && big.open(QIODevice::WriteOnly) &&
                big.resize(qint64(1) << 30));
        big.close();
        const QStringList mine{".a.zip", "a.zip.abc123", "a.zip.part"};
        for (const QString& name : mine) {
            QVERIFY(writeFile(path("store/" + name), "mine"));
        }
        const pid_t child = ::fork();
        if (child == 0) {
            try {
                pack({"data/big.bin"});
            } catch (...) {
            }
            ::_exit(0);
        }
        QVERIFY(child > 0);
        const auto writing = [&] {
            for (QDirIterator it(path("store"), QDir::Files | QDir::Hidden,
                                 QDirIterator::Subdirectories);
                 it.hasNext();) {
                it.next();
                if (!mine.contains(it.fileName()) && it.fileInfo().size() > 0) {
                    return true;
                }
            }
            return false;
        };
        QTRY_VERIFY_WITH_TIMEOUT(writing(), 20000);
        ::kill(child, SIGKILL);
        int status = 0;
        QCOMPARE(::waitpid(child, &status, 0), child);
        QVERIFY(WIFSIGNALED(status)); // killed before it was done
        QVERIFY(!QFile::exists(path("store/a.zip")));
        QVERIFY(listing(path("store")) != mine); // it left something

        QVERIFY(writeFile(path("data/b.txt"), "b"));
        pack({"data/b.txt"}, "store/b.zip");
        QCOMPARE(listing(path("store")), mine + QStringList{"b.zip"});
        for (const QString& name : mine) {
            QFile f(path("store/" + name));
            QVERIFY(f.open(QIODevice::ReadOnly));
            QCOMPARE(f.readAll(), QByteArray("mine"));
        }
    }

    void fileChangingWhilePackedIsPackedAsRead_data() {
        QTest::addColumn<QByteArray>("atPack");
        QTest::addColumn<QByteArray>("atRead");
        QTest::newRow("grows") << textBytes(1000) << textBytes(500000);
        QTest::newRow("grows, large") << randomBytes(300000, 3) << randomBytes(900000, 3);
        QTest::newRow("shrinks") << textBytes(500000) << textBytes(10);
        QTest::newRow("shrinks, large") << randomBytes(900000, 4) << randomBytes(300000, 4);
    }

    void fileChangingWhilePackedIsPackedAsRead() {
        QFETCH(QByteArray, atPack);
        QFETCH(QByteArray, atRead);
        QVERIFY(writeFile(path("data/app.log"), atPack));
        QVERIFY(writeFile(path("data/steady.txt"), "steady"));
        {
            ZipPacker packer;
            packer.Pack(path("data/app.log"), path("store/a.zip"));
            packer.Pack(path("data/steady.txt"), path("store/a.zip"));
            QVERIFY(writeFile(path("data/app.log"), atRead));
            packer.close();
        }
        const ArchiveContents got = readArchive(path("store/a.zip"));
        QVERIFY2(got.ok, qPrintable(got.error));
        QCOMPARE(got.names, (QStringList{"app.log", "steady.txt"}));
        QCOMPARE(got.data("app.log"), atRead);
        QCOMPARE(got.data("steady.txt"), QByteArray("steady"));
    }
};

QTEST_GUILESS_MAIN(TestPackFiles)
#include "TestPackFiles.moc"
