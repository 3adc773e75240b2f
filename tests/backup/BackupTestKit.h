#pragma once

#include "FtpServer.h"
#include "TestFiles.h"
#include "backup/SessionRun.h"

#include <QRandomGenerator>
#include <ctime>
#include <vector>

class TestDatabase;

// Bytes that do not compress, the same for the same seed.
inline QByteArray randomBytes(int n, quint32 seed) {
    QByteArray out(n, Qt::Uninitialized);
    QRandomGenerator(seed).fillRange(reinterpret_cast<quint32*>(out.data()), n / 4);
    return out;
}

// The moment every test run happens, and the archive name the default pattern gives for it.
inline const DateTime RunTime = *DateTime::fromParts(2026, 12, 5, 14, 30, 15);
inline const QString ArchiveName = QStringLiteral("2612051430.zip");

// A run at RunTime with the real FTP client; over SFTP with the keys of `sshFolder`.
SessionRun sessionRun(const Settings& settings, const QString& sshFolder = {});
// A daily session with these files and folders. Returns its id.
int addSession(TestDatabase& db, const QString& name, const QStringList& files,
               bool hidden = false);

// A zip archive read back with libzip, as any unzip tool would see it. With SkipOver4GiB the
// data of entries past 4 GiB is not read.
struct ArchiveEntry {
    QByteArray rawName; // as stored, whatever its encoding
    QByteArray data;
    quint64 size = 0;
    std::time_t mtime = 0;
    quint32 unixMode = 0; // the high half of the external attributes, made on Unix
};
struct ArchiveContents {
    bool ok = false;
    QString error;
    QStringList names;
    std::vector<ArchiveEntry> entries;

    QByteArray data(const QString& name) const { return entries.at(names.indexOf(name)).data; }
};
enum class ReadData { Keep, SkipOver4GiB };
ArchiveContents readArchive(const QString& path, ReadData mode = ReadData::Keep,
                            const char* password = nullptr);
