#include "BackupTestKit.h"
#include "backup/PackFiles.h"
#include "common/Error.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <sys/wait.h>
#include <unistd.h>
#include <utime.h>

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

    // QTemporaryDir cannot remove names that are not UTF-8.
    void cleanup() { std::filesystem::remove_all(m_dir->path().toStdString()); }

    void packedEntries_data() {
        using Bytes = QList<QByteArray>;
        QTest::addColumn<Bytes>("files"); // below the temp folder; "…/": an empty folder
        QTest::addColumn<QList<QStringList>>("runs"); // packings into one archive, as in a minute
        // "name" for a folder, "name=content"; a file holds its path and the run that wrote it.
        QTest::addColumn<Bytes>("entries");
        // clang-format off
        QTest::newRow("folders with everything below them, a file; same names numbered")
            << Bytes{"docs/a.txt", "docs/sub/b.bin", "docs/empty/", "deep/notes.txt", "b/docs/y", "c/docs"}
            << QList<QStringList>{{"docs/", "deep/notes.txt", "b/docs", "c/docs"}}
            << Bytes{"docs/", "docs/a.txt=docs/a.txt:1", "docs/empty/", "docs/sub/", "docs/sub/b.bin=docs/sub/b.bin:1",
                     "notes.txt=deep/notes.txt:1", "docs (2)/", "docs (2)/y=b/docs/y:1", "docs (3)=c/docs:1"};
        QTest::newRow("next run replaces same names, keeps others")
            << Bytes{"a/report.txt", "b/report.txt", "c/report.txt", "d/old.txt"}
            << QList<QStringList>{{"a/report.txt", "b/report.txt", "d/old.txt"}, {"a/report.txt", "b/report.txt", "c/report.txt"}}
            << Bytes{"report.txt=a/report.txt:2", "report (2).txt=b/report.txt:2", "old.txt=d/old.txt:1",
                     "report (3).txt=c/report.txt:2"};
        QTest::newRow("names not UTF-8 kept as they are")
            << Bytes{"d/caf\xe9.txt", "d/caf\xe8.txt", "d/\xc3\x9c.txt"} << QList<QStringList>{{"d"}, {"d"}}
            << Bytes{"d/", "d/caf\xe8.txt=d/caf\xe8.txt:2", "d/caf\xe9.txt=d/caf\xe9.txt:2", "d/\xc3\x9c.txt=d/\xc3\x9c.txt:2"};
        // clang-format on
    }

    void packedEntries() {
        QFETCH(QList<QByteArray>, files);
        QFETCH(QList<QStringList>, runs);
        QFETCH(QList<QByteArray>, entries);
        const QByteArray root = QFile::encodeName(m_dir->path()) + '/';
        // An even second: zip entries keep time to two seconds.
        const qint64 stamp = QDateTime(QDate(2024, 3, 10), QTime(12, 34, 56)).toSecsSinceEpoch();
        for (int run = 1; run <= runs.size(); ++run) {
            for (const QByteArray& file : files) {
                QVERIFY(QDir().mkpath(path(QString::fromUtf8(file).section('/', 0, -2))));
                // Not through QString, which cannot hold names that are not UTF-8.
                const QByteArray content = file + ':' + QByteArray::number(run);
                QVERIFY(file.endsWith('/') || std::ofstream(root + file) << content.data());
            }
            for (const auto& entry : std::filesystem::recursive_directory_iterator(root.data())) {
                const utimbuf times{stamp, stamp};
                QCOMPARE(::utime(entry.path().c_str(), &times), 0);
            }
            pack(runs[run - 1]);
        }
        QList<QByteArray> seen;
        for (const ArchiveEntry& entry : readArchive(path("store/a.zip")).entries) {
            seen << entry.rawName + (entry.rawName.endsWith('/') ? QByteArray() : "=" + entry.data);
            QCOMPARE(entry.mtime, stamp);
        }
        QCOMPARE(seen, entries);
        QCOMPARE(listing(path("store")), QStringList{"a.zip"});
    }

    // Files change or go between Pack() and close(): packed as read then, or a failure that
    // leaves the earlier archive (or none) and no temporary file.
    void fileChangingBeforeClose_data() {
        QTest::addColumn<QByteArray>("atPack"); // data/dir/app.log, packed with its folder
        QTest::addColumn<QByteArray>("atRead"); // null: the file is gone
        QTest::addColumn<bool>("existed");      // an archive holding steady.txt
        const QByteArray text = "2026-12-05 14:30:15 backup line ok\n";
        QTest::newRow("grows") << text.repeated(30) << text.repeated(15000) << false;
        QTest::newRow("grows, large") << randomBytes(300000, 3) << randomBytes(900000, 3) << false;
        QTest::newRow("shrinks") << text.repeated(15000) << text.left(10) << false;
        QTest::newRow("shrinks, large")
            << randomBytes(900000, 4) << randomBytes(300000, 4) << false;
        QTest::newRow("gone") << text << QByteArray() << false;
        QTest::newRow("gone, over an existing archive") << text << QByteArray() << true;
    }

    void fileChangingBeforeClose() {
        QFETCH(QByteArray, atPack);
        QFETCH(QByteArray, atRead);
        QFETCH(bool, existed);
        const QString changing = path("data/dir/app.log");
        QVERIFY(writeFile(changing, atPack) && writeFile(path("data/steady.txt"), "steady"));
        if (existed) {
            pack({"data/steady.txt"});
        }
        try {
            ZipPacker packer;
            packer.Pack(path("data/dir"), path("store/a.zip"));
            packer.Pack(path("data/steady.txt"), path("store/a.zip"));
            QVERIFY(atRead.isNull() ? QFile::remove(changing) : writeFile(changing, atRead));
            packer.close();
            QVERIFY(!atRead.isNull());
        } catch (const VError& error) {
            QVERIFY2(atRead.isNull() && error.description().contains(changing),
                     qPrintable(error.description()));
            QCOMPARE(error.number(), UnspecifiedErrorNumber);
        }
        const bool kept = existed || !atRead.isNull();
        QCOMPARE(listing(path("store")), kept ? QStringList{"a.zip"} : QStringList());
        const ArchiveContents got = readArchive(path("store/a.zip"));
        const QStringList all{"dir/", "dir/app.log", "steady.txt"};
        QCOMPARE(got.names, !atRead.isNull() ? all : all.mid(2, kept ? 1 : 0));
        QVERIFY(atRead.isNull() || got.data("dir/app.log") == atRead);
        QVERIFY(!kept || got.data("steady.txt") == "steady");
    }

    // A run killed while it packs (the process ended at once) leaves nothing under the archive's
    // name, and the next packing into that store removes what it left. Files of the user's with
    // names like a packer's temporary files stay.
    void killedPackingIsClearedByTheNext() {
        // Sparse: made at once; the packer kills itself once it has written part of the archive.
        QVERIFY(writeFile(path("data/big.bin"), {}) &&
                QFile::resize(path("data/big.bin"), qint64(1) << 30));
        const QStringList mine{".a.zip", "a.zip.abc123", "a.zip.part"};
        for (const QString& name : mine) {
            QVERIFY(writeFile(path("store/" + name), "mine"));
        }
        const pid_t child = ::fork();
        if (child == 0) {
            ZipPacker packer;
            packer.setProgress([](const QString&, qint64 done, qint64) {
                if (done > (qint64(1) << 28)) {
                    ::raise(SIGKILL);
                }
            });
            packer.Pack(path("data/big.bin"), path("store/a.zip"));
            packer.close();
            ::_exit(0);
        }
        int status = 0;
        QVERIFY(child > 0 && ::waitpid(child, &status, 0) == child);
        QVERIFY(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
        QVERIFY(!QFile::exists(path("store/a.zip")));
        QVERIFY(listing(path("store")) != mine); // it left something

        QVERIFY(writeFile(path("data/b.txt"), "b"));
        pack({"data/b.txt"}, "store/b.zip");
        QCOMPARE(listing(path("store")), mine + QStringList{"b.zip"});
        for (const QString& name : mine) {
            QCOMPARE(readFile(path("store/" + name)), QByteArray("mine"));
        }
    }
};

QTEST_GUILESS_MAIN(TestPackFiles)
#include "TestPackFiles.moc"
