#pragma once

#include <QString>
#include <ctime>
#include <vector>

struct zip;

// One member of a zip archive as a restore sees it.
struct ArchiveMember {
    enum class Kind { File, Folder, Link };

    QString name; // as stored, without a folder's trailing "/"
    qint64 index = 0;
    qint64 size = 0;
    // Seconds since the epoch: the extended timestamp when the archive has one, else the
    // two-second DOS time.
    std::time_t mtime = 0;
    unsigned mode = 0; // permission bits
    Kind kind = Kind::File;
};

// A zip archive opened for reading; closed with the object. Raises VError when it cannot be
// opened or is no zip archive.
class ArchiveFile {
public:
    explicit ArchiveFile(const QString& path, bool checkHeaders = false);
    ~ArchiveFile();
    ArchiveFile(const ArchiveFile&) = delete;
    ArchiveFile& operator=(const ArchiveFile&) = delete;

    const std::vector<ArchiveMember>& entries() const { return m_entries; }
    zip* handle() const { return m_zip; }
    const QString& path() const { return m_path; }

private:
    QString m_path;
    zip* m_zip = nullptr;
    std::vector<ArchiveMember> m_entries;
};

// The libzip reason of the archive's last failure, as text.
QString archiveErrorText(zip* archive);
