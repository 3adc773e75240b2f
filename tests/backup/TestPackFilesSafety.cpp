#include "BackupTestKit.h"
#include "backup/PackFiles.h"
#include "common/Error.h"

#include <QDateTime>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utime.h>

namespace {

int threadCount() {
    return int(QDir("/proc/self/task").entryList(QDir::Dirs | QDir::NoDotAndDotDot).size());
}

// Exit code of a tool run on an archive; -1 when it did not start.
int tool(const QString& program, const QStringList& arguments) {
    QProcess p;
    p.start(program, arguments);
    return p.waitForFinished(60000) && p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

} // namespace

// What a packer must hold to whatever it finds in a session's folders, on any number of threads.
class TestPackFilesSafety : public QObject {
    Q_OBJECT

    QString path(const QString& relative) const { return m_dir->filePath(relative); }

    // Packs the folders into store/a.zip; returns the skipped lines.
    QStringList pack(const QStringList& folders, PackOptions options = {},
                     const std::function<void(ZipPacker&)>& beforeClose = {}) const {
        QStringList skipped;
        options.skipped = [&skipped](const QString& line) {
            skipped << line;
        };
        ZipPacker packer(options);
        for (const QString& folder : folders) {
            packer.Pack(path(folder), path("store/a.zip"));
        }
        if (beforeClose) {
            beforeClose(packer);
        }
        packer.close();
        return skipped;
    }

    // Files of every shape the pool cuts differently: empty, around a block, several blocks,
    // text and random.
    void writeTree() const {
        const QByteArray line = "2026-12-05 14:30:15 host3 backup[42]: session archive ok\n";
        const int block = 1 << 20;
        const QList<QByteArray> contents{{},
                                         "x",
                                         line.repeated(block / line.size() + 1).left(block - 1),
                                         line.repeated(block / line.size() + 1).left(block),
                                         line.repeated(block / line.size() + 2).left(block + 1),
                                         line.repeated(70000),
                                         randomBytes(2600000, 7),
                                         randomBytes(300000, 8) + line.repeated(9000)};
        for (int i = 0; i < 24; ++i) {
            QVERIFY(writeFile(path(QString("data/d%1/f%2").arg(i % 3).arg(i)),
                              contents[i % contents.size()]));
        }
    }

    std::unique_ptr<QTemporaryDir> m_dir;

private slots:
    void init() {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(QDir().mkpath(path("store")));
        ::alarm(60); // a packer that blocks on a pipe ends the test instead of hanging it
    }
    void cleanup() { ::alarm(0); }

    // Between the walk and the reading a file is swapped for something that is not one.
    void swappedBeforeRead_data() {
        QTest::addColumn<QString>("swap");        // what takes the place of data/d/b
        QTest::addColumn<QStringList>("entries"); // what the archive then holds
        const QStringList all{"d/", "d/a", "d/c"};
        QTest::newRow("named pipe") << "fifo" << all;
        QTest::newRow("link to /dev/zero") << "/dev/zero" << all;
        QTest::newRow("link to another's file") << "secret" << all;
        QTest::newRow("its folder, for a link")
            << "folder" << QStringList{"d/", "d/a", "d/b/", "d/c"};
    }
    void swappedBeforeRead() {
        QFETCH(QString, swap);
        QFETCH(QStringList, entries);
        QVERIFY(writeFile(path("secret"), "not for the archive"));
        QVERIFY(writeFile(path("data/d/a"), QByteArray(3000000, 'a')));
        QVERIFY(writeFile(path(swap == "folder" ? "data/d/b/x" : "data/d/b"), "b"));
        QVERIFY(writeFile(path("data/d/c"), "c"));
        const QString swapped = path(swap == "folder" ? "data/d/b/x" : "data/d/b");
        const QStringList skipped = pack({"data/d"}, {}, [&](ZipPacker&) {
            const QByteArray b = QFile::encodeName(path("data/d/b"));
            if (swap == "folder") {
                QVERIFY(QDir(path("data/d/b")).removeRecursively());
                QCOMPARE(::symlink(QFile::encodeName(m_dir->path()).constData(), b.constData()), 0);
                QVERIFY(writeFile(path("x"), "outside"));
                return;
            }
            QVERIFY(QFile::remove(path("data/d/b")));
            QCOMPARE(
                swap == "fifo"
                    ? ::mkfifo(b.constData(), 0666)
                    : ::symlink(
                          QFile::encodeName(swap.startsWith('/') ? swap : path(swap)).constData(),
                          b.constData()),
                0);
        });
        QCOMPARE(skipped, QStringList{"Skipped " + swapped + ": it is no longer a regular file"});
        const ArchiveContents got = readArchive(path("store/a.zip"));
        QVERIFY2(got.ok, qPrintable(got.error));
        QCOMPARE(got.names, entries);
        QCOMPARE(got.data("d/a"), QByteArray(3000000, 'a'));
        QCOMPARE(tool("unzip", {"-tqq", path("store/a.zip")}), 0);
    }

    // Pipes, sockets and devices found in the walk are left out, one line each.
    void specialFilesSkipped() {
        QVERIFY(writeFile(path("data/d/file"), "kept"));
        QCOMPARE(::mkfifo(QFile::encodeName(path("data/d/pipe")).constData(), 0600), 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const QByteArray socketPath = QFile::encodeName(path("data/d/socket"));
        QVERIFY(size_t(socketPath.size()) < sizeof address.sun_path);
        std::strcpy(address.sun_path, socketPath.constData());
        const int s = ::socket(AF_UNIX, SOCK_STREAM, 0);
        QCOMPARE(::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        // A device only where this user may make one.
        const bool device = ::mknod(QFile::encodeName(path("data/d/zero")).constData(),
                                    S_IFCHR | 0600, makedev(1, 5)) == 0;
        QStringList expected{"Skipped " + path("data/d/pipe") + ": a named pipe is not packed",
                             "Skipped " + path("data/d/socket") + ": a socket is not packed"};
        if (device) {
            expected << "Skipped " + path("data/d/zero") + ": a device is not packed";
        }
        QCOMPARE(pack({"data/d"}), expected);
        ::close(s);
        QCOMPARE(readArchive(path("store/a.zip")).names, (QStringList{"d/", "d/file"}));
    }

    // Modes, links and times to the second come back out of unzip as they went in; a link to
    // a file outside the folders is a link in the archive, never that file's contents.
    void modesLinksAndTimesRestored() {
        const qint64 stamp = QDateTime(QDate(2024, 3, 10), QTime(12, 34, 57)).toSecsSinceEpoch();
        struct Item {
            QString name;
            int mode;
            QByteArray link;
        };
        const QList<Item> items{{"t/run.sh", 0755, {}},
                                {"t/secret", 0600, {}},
                                {"t/to-secret", 0, "secret"},
                                {"t/passwd", 0, "/etc/passwd"}};
        for (const Item& item : items) {
            const QByteArray at = QFile::encodeName(path("data/" + item.name));
            QVERIFY(item.link.isEmpty() ? writeFile(path("data/" + item.name), "#!/bin/sh\n")
                                        : ::symlink(item.link.constData(), at.constData()) == 0);
            QVERIFY(item.link.isEmpty() ? ::chmod(at.constData(), mode_t(item.mode)) == 0 : true);
            const timeval times[2] = {{stamp, 0}, {stamp, 0}};
            QCOMPARE(::lutimes(at.constData(), times), 0);
        }
        QCOMPARE(::chmod(QFile::encodeName(path("data/t")).constData(), 0750), 0);
        pack({"data/t"});
        const ArchiveContents got = readArchive(path("store/a.zip"));
        QCOMPARE(got.names, (QStringList{"t/", "t/passwd", "t/run.sh", "t/secret", "t/to-secret"}));
        QCOMPARE(got.entries[0].unixMode, quint32(S_IFDIR | 0750));
        QCOMPARE(got.data("t/passwd"), QByteArray("/etc/passwd"));
        QCOMPARE(tool("unzip", {"-q", path("store/a.zip"), "-d", path("out")}), 0);
        for (const Item& item : items) {
            const QFileInfo back(path("out/" + item.name));
            QCOMPARE(back.symLinkTarget().isEmpty(), item.link.isEmpty());
            if (item.link.isEmpty()) {
                QCOMPARE(int(back.permissions() & 0x7777),
                         int(QFileInfo(path("data/" + item.name)).permissions() & 0x7777));
                QCOMPARE(back.lastModified().toSecsSinceEpoch(), stamp);
            } else {
                QCOMPARE(QFile::encodeName(QFile::symLinkTarget(path("out/" + item.name))),
                         item.link.startsWith('/') ? item.link
                                                   : QFile::encodeName(path("out/t/" + item.link)));
            }
        }
    }

    // Whatever the umask, no other user can read the archive or the folder it is made in.
    void archiveIsPrivate() {
        writeTree();
        const mode_t old = ::umask(0);
        int folderMode = -1;
        pack({"data"}, {}, [&](ZipPacker& packer) {
            packer.setProgress([&](const QString&, qint64, qint64) {
                for (const QFileInfo& f :
                     QDir(path("store"))
                         .entryInfoList(QDir::Hidden | QDir::Dirs | QDir::NoDotAndDotDot)) {
                    struct stat st {};
                    ::stat(QFile::encodeName(f.filePath()).constData(), &st);
                    folderMode = int(st.st_mode & 07777);
                }
            });
        });
        ::umask(old);
        QCOMPARE(folderMode, 0700);
        struct stat st {};
        QCOMPARE(::stat(QFile::encodeName(path("store/a.zip")).constData(), &st), 0);
        QCOMPARE(int(st.st_mode & 07777), 0600);
    }

    // Any number of workers writes the very same archive: same names, order, data and CRCs.
    void sameArchiveOnAnyWorkerCount_data() {
        QTest::addColumn<int>("workers");
        for (const int workers : {2, 3, 8}) {
            QTest::addRow("%d workers", workers) << workers;
        }
    }
    void sameArchiveOnAnyWorkerCount() {
        QFETCH(int, workers);
        writeTree();
        PackOptions one;
        one.workers = 1;
        pack({"data/d2", "data/d0", "data/d1"}, one);
        const QByteArray reference = readFile(path("store/a.zip"));
        QVERIFY(QFile::remove(path("store/a.zip")));
        PackOptions many;
        many.workers = workers;
        pack({"data/d2", "data/d0", "data/d1"}, many);
        QVERIFY(readFile(path("store/a.zip")) == reference);
        const ArchiveContents got = readArchive(path("store/a.zip"));
        QVERIFY2(got.ok, qPrintable(got.error));
        QCOMPARE(got.names.size(), 27);
        for (int i = 0; i < got.names.size(); ++i) {
            const QString& name = got.names[i];
            QCOMPARE(name.section('/', 0, 0), QStringList({"d2", "d0", "d1"})[i / 9]);
            QVERIFY(name.endsWith('/') ||
                    got.entries[size_t(i)].data == readFile(path("data/" + name)));
        }
        QCOMPARE(tool("unzip", {"-tqq", path("store/a.zip")}), 0);
    }

    // A file that cannot be read, a full disk or a cancel fail the packing as a whole: the
    // archive before it stays as it was, nothing else is left, and no worker runs on.
    void failureLeavesNoBrokenArchive_data() {
        QTest::addColumn<QString>("failure");
        QTest::newRow("a file gone before it is read") << "gone";
        QTest::newRow("the disk full") << "full";
        QTest::newRow("cancelled") << "cancel";
    }
    void failureLeavesNoBrokenArchive() {
        QFETCH(QString, failure);
        QVERIFY(writeFile(path("data/before"), "the earlier archive"));
        pack({"data/before"});
        const QByteArray earlier = readFile(path("store/a.zip"));
        writeTree();
        const int threads = threadCount();
        int busiest = 0;
        PackOptions options;
        options.workers = 4;
        const auto packAll = [&] {
            pack({"data/d0", "data/d1", "data/d2"}, options, [&](ZipPacker& packer) {
                if (failure == "gone") {
                    QVERIFY(QFile::remove(path("data/d2/f23")));
                }
                packer.setProgress([&](const QString&, qint64 done, qint64) {
                    busiest = std::max(busiest, threadCount());
                    if (failure == "cancel" && done > (1 << 22)) {
                        packer.cancel();
                    }
                });
            });
        };
        if (failure == "full") {
            const pid_t child = ::fork();
            if (child == 0) {
                const rlimit small{400000, 400000};
                ::signal(SIGXFSZ, SIG_IGN);
                ::setrlimit(RLIMIT_FSIZE, &small);
                try {
                    packAll();
                } catch (const VError&) {
                    ::_exit(3);
                }
                ::_exit(0);
            }
            int status = 0;
            QVERIFY(child > 0 && ::waitpid(child, &status, 0) == child);
            QCOMPARE(WIFEXITED(status) ? WEXITSTATUS(status) : -1, 3);
        } else {
            try {
                packAll();
                QFAIL("packing went on");
            } catch (const VError& error) {
                QVERIFY2(error.description().contains(failure == "gone" ? "f23" : "cancelled"),
                         qPrintable(error.description()));
            }
            QCOMPARE(threadCount(), threads);
            QVERIFY(busiest > threads);
        }
        QCOMPARE(listing(path("store")), QStringList{"a.zip"});
        QVERIFY(readFile(path("store/a.zip")) == earlier);
    }
};

QTEST_GUILESS_MAIN(TestPackFilesSafety)
#include "TestPackFilesSafety.moc"
