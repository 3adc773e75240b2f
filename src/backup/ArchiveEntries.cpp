#include "ArchiveEntries.h"

#include "common/Error.h"
#include "common/Umask.h"

#include <QFile>
#include <optional>
#include <sys/stat.h>
#include <zip.h>

namespace {

const QString Source = QStringLiteral("Restore");

// Info-ZIP's extended timestamp: a flag byte, then the modification time when bit 0 is set.
constexpr zip_uint16_t ExtendedTimestamp = 0x5455;
// MS-DOS's folder attribute, which archives from other systems carry.
constexpr zip_uint32_t DosFolder = 0x10;

std::optional<std::time_t> extendedTime(zip_t* archive, zip_uint64_t index) {
    for (const zip_flags_t where : {ZIP_FL_CENTRAL, ZIP_FL_LOCAL}) {
        zip_uint16_t length = 0;
        const zip_uint8_t* data =
            zip_file_extra_field_get_by_id(archive, index, ExtendedTimestamp, 0, &length, where);
        if (data && length >= 5 && (data[0] & 1)) {
            const std::uint32_t raw = std::uint32_t(data[1]) | std::uint32_t(data[2]) << 8 |
                                      std::uint32_t(data[3]) << 16 | std::uint32_t(data[4]) << 24;
            return static_cast<std::time_t>(static_cast<std::int32_t>(raw));
        }
    }
    return std::nullopt;
}

// What a file or folder from an archive of another system gets, as if the user had made it.
unsigned defaultMode(bool folder) {
    static const unsigned mask = processUmask();
    return (folder ? 0777u : 0666u) & ~mask;
}

} // namespace

QString archiveErrorText(zip* archive) {
    return QString::fromLocal8Bit(zip_strerror(archive));
}

ArchiveFile::ArchiveFile(const QString& path, bool checkHeaders)
    : m_path(path) {
    int code = 0;
    m_zip = zip_open(QFile::encodeName(path).constData(),
                     ZIP_RDONLY | (checkHeaders ? ZIP_CHECKCONS : 0), &code);
    if (!m_zip) {
        zip_error_t error;
        zip_error_init_with_code(&error, code);
        const QString reason = QString::fromLocal8Bit(zip_error_strerror(&error));
        zip_error_fini(&error);
        throw VError(UnspecifiedErrorNumber, Source,
                     QStringLiteral("Cannot open the archive %1: %2").arg(path, reason));
    }
    const zip_int64_t count = zip_get_num_entries(m_zip, 0);
    m_entries.reserve(static_cast<std::size_t>(std::max<zip_int64_t>(count, 0)));
    for (zip_int64_t i = 0; i < count; ++i) {
        zip_stat_t st;
        if (zip_stat_index(m_zip, zip_uint64_t(i), ZIP_FL_ENC_GUESS, &st) != 0 ||
            !(st.valid & ZIP_STAT_NAME))
            continue;
        ArchiveMember entry;
        entry.index = i;
        entry.name = QString::fromUtf8(st.name);
        entry.size = (st.valid & ZIP_STAT_SIZE) ? qint64(st.size) : 0;
        zip_uint8_t system = 0;
        zip_uint32_t attributes = 0;
        zip_file_get_external_attributes(m_zip, zip_uint64_t(i), 0, &system, &attributes);
        const unsigned unixMode = system == ZIP_OPSYS_UNIX ? attributes >> 16 : 0;
        const bool folder = entry.name.endsWith(QLatin1Char('/')) || S_ISDIR(unixMode) ||
                            (system != ZIP_OPSYS_UNIX && (attributes & DosFolder));
        entry.kind = S_ISLNK(unixMode) ? ArchiveMember::Kind::Link
                     : folder          ? ArchiveMember::Kind::Folder
                                       : ArchiveMember::Kind::File;
        // Set-user and set-group bits are not brought back from an archive.
        entry.mode = (unixMode & 0777) ? unixMode & 01777 : defaultMode(folder);
        while (entry.name.endsWith(QLatin1Char('/')))
            entry.name.chop(1);
        entry.mtime = extendedTime(m_zip, zip_uint64_t(i))
                          .value_or((st.valid & ZIP_STAT_MTIME) ? st.mtime : 0);
        m_entries.push_back(entry);
    }
}

ArchiveFile::~ArchiveFile() {
    if (m_zip)
        zip_discard(m_zip);
}
