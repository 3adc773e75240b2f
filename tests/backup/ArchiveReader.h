#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <ctime>
#include <vector>

// Reads a zip archive back with libzip, so tests see what any unzip tool would see.
struct ArchiveEntry {
    QString name;
    QByteArray data; // empty unless read with data
    quint64 size = 0;
    quint64 compressedSize = 0;
    int method = 0;
    std::time_t mtime = 0;
};

struct ArchiveContents {
    bool ok = false;
    QString error;
    std::vector<ArchiveEntry> entries;

    QStringList names() const;
    const ArchiveEntry* find(const QString& name) const;
};

enum class ReadData { Keep, SkipOver4GiB };
// With SkipOver4GiB the data of entries past 4 GiB is not read (their names and sizes are).
ArchiveContents readArchive(const QString& path, ReadData mode = ReadData::Keep);
