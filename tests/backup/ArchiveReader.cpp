#include "ArchiveReader.h"

#include <QFile>
#include <zip.h>

QStringList ArchiveContents::names() const {
    QStringList out;
    for (const ArchiveEntry& e : entries) {
        out << e.name;
    }
    return out;
}

const ArchiveEntry* ArchiveContents::find(const QString& name) const {
    for (const ArchiveEntry& e : entries) {
        if (e.name == name) {
            return &e;
        }
    }
    return nullptr;
}

ArchiveContents readArchive(const QString& path, ReadData mode) {
    ArchiveContents out;
    int code = 0;
    zip_t* zip = zip_open(QFile::encodeName(path).constData(), ZIP_RDONLY | ZIP_CHECKCONS, &code);
    if (zip == nullptr) {
        out.error = QStringLiteral("cannot open %1 (libzip error %2)").arg(path).arg(code);
        return out;
    }
    const zip_int64_t count = zip_get_num_entries(zip, 0);
    std::vector<char> buffer(1 << 16);
    for (zip_int64_t i = 0; i < count; ++i) {
        zip_stat_t st;
        if (zip_stat_index(zip, static_cast<zip_uint64_t>(i), 0, &st) != 0) {
            out.error = QStringLiteral("cannot stat entry %1").arg(i);
            zip_discard(zip);
            return out;
        }
        ArchiveEntry entry;
        entry.name = QString::fromUtf8(st.name);
        entry.size = st.size;
        entry.compressedSize = st.comp_size;
        entry.method = st.comp_method;
        entry.mtime = st.mtime;
        if (mode == ReadData::SkipOver4GiB && entry.size > 0xFFFFFFFFu) {
            out.entries.push_back(std::move(entry));
            continue;
        }
        zip_file_t* file = zip_fopen_index(zip, static_cast<zip_uint64_t>(i), 0);
        if (file == nullptr) {
            out.error = QStringLiteral("cannot open entry %1").arg(entry.name);
            zip_discard(zip);
            return out;
        }
        zip_int64_t n;
        while ((n = zip_fread(file, buffer.data(), buffer.size())) > 0) {
            entry.data.append(buffer.data(), static_cast<qsizetype>(n));
        }
        zip_fclose(file);
        if (n < 0) {
            out.error = QStringLiteral("cannot read entry %1").arg(entry.name);
            zip_discard(zip);
            return out;
        }
        out.entries.push_back(std::move(entry));
    }
    zip_discard(zip);
    out.ok = true;
    return out;
}
