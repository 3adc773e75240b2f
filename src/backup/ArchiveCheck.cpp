#include "ArchiveCheck.h"

#include "ArchiveEntries.h"
#include "common/Error.h"

#include <memory>
#include <vector>
#include <zip.h>

namespace {
constexpr zip_uint64_t ChunkBytes = 256 * 1024;
}

QString checkArchive(const QString& path, const CheckProgress& progress, const QString& password) {
    try {
        const ArchiveFile archive(path, true);
        // An encrypted archive reads back only with its password.
        if (!password.isEmpty()) {
            zip_set_default_password(archive.handle(), password.toUtf8().constData());
        }
        qint64 total = 0;
        for (const ArchiveMember& entry : archive.entries())
            total += entry.size;
        qint64 done = 0;
        std::vector<char> buffer(ChunkBytes);
        for (const ArchiveMember& entry : archive.entries()) {
            std::unique_ptr<zip_file_t, int (*)(zip_file_t*)> file(
                zip_fopen_index(archive.handle(), zip_uint64_t(entry.index), 0), zip_fclose);
            if (!file)
                return QStringLiteral("%1: %2").arg(entry.name, archiveErrorText(archive.handle()));
            zip_int64_t got = 0;
            // The checksum is compared when the last byte has been read.
            while ((got = zip_fread(file.get(), buffer.data(), ChunkBytes)) > 0) {
                done += got;
                if (progress && !progress(done, total))
                    return QStringLiteral("the check was cancelled");
            }
            if (got < 0)
                return QStringLiteral("%1: %2").arg(
                    entry.name, QString::fromLocal8Bit(zip_file_strerror(file.get())));
        }
        return QString();
    } catch (const VError& error) {
        return error.description();
    }
}
