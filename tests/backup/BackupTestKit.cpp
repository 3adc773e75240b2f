#include "BackupTestKit.h"

#include "FtpServer.h"
#include "SecureServers.h"
#include "TestDatabase.h"

#include <QFile>
#include <zip.h>

SessionRun sessionRun(const Settings& settings, const QString& sshFolder) {
    return SessionRun(settings, sshClients(sshFolder), [] { return RunTime; });
}

int addSession(TestDatabase& db, const QString& name, const QStringList& files, bool hidden) {
    const int id = db.addSession(name, "2026-12-01 14:30:00", "2026-12-05 14:30:00", 1);
    db.exec(QStringLiteral("update Tasks set autopack=%1 where id=%2").arg(hidden).arg(id));
    for (const QString& file : files) {
        db.exec(QStringLiteral("insert into files (id, Name) values (%1, '%2')").arg(id).arg(file));
    }
    return id;
}

ArchiveContents readArchive(const QString& path, ReadData mode, const char* password) {
    ArchiveContents out;
    int code = 0;
    zip_t* zip = zip_open(QFile::encodeName(path).constData(), ZIP_RDONLY | ZIP_CHECKCONS, &code);
    out.ok = zip != nullptr;
    out.error = QStringLiteral("cannot read %1 (libzip error %2)").arg(path).arg(code);
    if (zip != nullptr && password != nullptr) {
        zip_set_default_password(zip, password);
    }
    for (zip_uint64_t i = 0; out.ok && i < zip_uint64_t(zip_get_num_entries(zip, 0)); ++i) {
        zip_stat_t st;
        out.ok = zip_stat_index(zip, i, 0, &st) == 0;
        if (!out.ok) {
            break;
        }
        out.names << QString::fromUtf8(st.name);
        ArchiveEntry& entry = out.entries.emplace_back(
            ArchiveEntry{zip_get_name(zip, i, ZIP_FL_ENC_RAW), {}, st.size, st.mtime, 0});
        zip_uint8_t system = 0;
        zip_uint32_t attributes = 0;
        zip_file_get_external_attributes(zip, i, 0, &system, &attributes);
        entry.unixMode = system == ZIP_OPSYS_UNIX ? attributes >> 16 : 0;
        if (mode == ReadData::Keep || st.size <= 0xFFFFFFFFu) {
            entry.data.resize(qsizetype(st.size));
            zip_file_t* file = zip_fopen_index(zip, i, 0);
            out.ok = file != nullptr &&
                     zip_fread(file, entry.data.data(), st.size) == zip_int64_t(st.size) &&
                     zip_fclose(file) == 0;
        }
    }
    zip_discard(zip); // nothing when it is null
    return out;
}
