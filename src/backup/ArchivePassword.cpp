#include "ArchivePassword.h"

#include "ArchiveEntries.h"

#include <zip.h>

PasswordFit tryPassword(const ArchiveFile& archive, const QString& password) {
    zip_t* handle = archive.handle();
    for (const ArchiveMember& entry : archive.entries()) {
        zip_stat_t st;
        if (zip_stat_index(handle, zip_uint64_t(entry.index), 0, &st) != 0 ||
            !(st.valid & ZIP_STAT_ENCRYPTION_METHOD) || st.encryption_method == ZIP_EM_NONE)
            continue;
        if (password.isEmpty())
            return PasswordFit::Missing;
        const QByteArray bytes = password.toUtf8();
        zip_file_t* file =
            zip_fopen_index_encrypted(handle, zip_uint64_t(entry.index), 0, bytes.constData());
        if (!file && zip_error_code_zip(zip_get_error(handle)) == ZIP_ER_WRONGPASSWD)
            return PasswordFit::Wrong;
        // Any other failure of this entry is told when it is read.
        if (file)
            zip_fclose(file);
        zip_set_default_password(handle, bytes.constData());
        return PasswordFit::Opens;
    }
    return PasswordFit::NotNeeded;
}

QString passwordFailureText(PasswordFit fit, const QString& archive) {
    switch (fit) {
    case PasswordFit::Missing:
        return QStringLiteral("%1 is encrypted: its password is needed").arg(archive);
    case PasswordFit::Wrong:
        return QStringLiteral("Wrong password for %1").arg(archive);
    case PasswordFit::NotNeeded:
    case PasswordFit::Opens:
        break;
    }
    return QString();
}
