#include "LastStartFile.h"

#include "common/Error.h"

#include <QFile>
#include <QSaveFile>

LastStartFile::LastStartFile(QString path)
    : m_path(std::move(path)) {
}

DateTime LastStartFile::read() const {
    QFile file(m_path);
    if (!file.open(QIODevice::ReadOnly)) {
        return DateTime();
    }
    const QString text = QString::fromUtf8(file.read(64)).trimmed();
    return DateTime::fromStoredText(text).value_or(DateTime());
}

void LastStartFile::write(const DateTime& started) const {
    QSaveFile file(m_path);
    if (!file.open(QIODevice::WriteOnly) ||
        file.write(started.toStoredText().toUtf8() + '\n') < 0 || !file.commit()) {
        throw VError(UnspecifiedErrorNumber, QStringLiteral("LastStartFile"),
                     QStringLiteral("Cannot write %1: %2").arg(m_path, file.errorString()));
    }
}
