#include "SeenRuns.h"

#include <QFile>
#include <QSaveFile>

SeenRuns::SeenRuns(QString path)
    : m_path(std::move(path)) {
}

std::optional<qint64> SeenRuns::newestSeen() const {
    QFile file(m_path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    bool ok = false;
    const qint64 id = file.read(32).trimmed().toLongLong(&ok);
    return ok && id >= 0 ? std::optional<qint64>(id) : std::nullopt;
}

bool SeenRuns::markSeen(qint64 newestId) const {
    QSaveFile file(m_path);
    return file.open(QIODevice::WriteOnly) && file.write(QByteArray::number(newestId) + '\n') > 0 &&
           file.commit();
}
