#include "Settings.h"

#include "common/Error.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString Group = QStringLiteral("Archive");

QString textOf(const QVariant& value) {
    if (value.typeId() == QMetaType::Bool) {
        return value.toBool() ? QStringLiteral("True") : QStringLiteral("False");
    }
    // An unquoted value holding commas reads back as a list; it was one text.
    if (value.typeId() == QMetaType::QStringList) {
        return value.toStringList().join(QLatin1Char(','));
    }
    return value.toString();
}

// QSettings writes through a temporary file that it renames over the old one and keeps the old
// file's mode; creating the file first with mode 0600 keeps the password from ever being
// readable by others.
void ensurePrivateFile(const QString& path) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    const QByteArray native = QFile::encodeName(path);
    const int fd = ::open(native.constData(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) {
        throw VError(UnspecifiedErrorNumber, QStringLiteral("Settings::WriteOption"),
                     QStringLiteral("Cannot create settings file '%1'.").arg(path));
    }
    ::fchmod(fd, 0600);
    ::close(fd);
}

} // namespace

Settings::Settings(QString filePath)
    : m_filePath(std::move(filePath)) {
}

QString Settings::defaultFilePath() {
    const QSettings s(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Vodidore"));
    return s.fileName();
}

QString Settings::ReadOption(const QString& key, const QVariant& defaultValue) const {
    QSettings s(m_filePath, QSettings::IniFormat);
    s.beginGroup(Group);
    const QStringList keys = s.childKeys();
    for (const QString& stored : keys) {
        if (stored.compare(key, Qt::CaseInsensitive) == 0) {
            return textOf(s.value(stored)).trimmed();
        }
    }
    return textOf(defaultValue).trimmed();
}

void Settings::WriteOption(const QString& key, const QVariant& value) {
    ensurePrivateFile(m_filePath);
    QSettings s(m_filePath, QSettings::IniFormat);
    s.beginGroup(Group);
    const QStringList keys = s.childKeys();
    for (const QString& stored : keys) {
        if (stored.compare(key, Qt::CaseInsensitive) == 0) {
            s.remove(stored);
        }
    }
    s.setValue(key, textOf(value));
    s.endGroup();
    s.sync();
    if (s.status() != QSettings::NoError) {
        throw VError(UnspecifiedErrorNumber, QStringLiteral("Settings::WriteOption"),
                     QStringLiteral("Cannot write settings file '%1'.").arg(m_filePath));
    }
}

bool optionIsTrue(const QString& text) {
    const QString t = text.trimmed();
    if (t.compare(QStringLiteral("True"), Qt::CaseInsensitive) == 0) {
        return true;
    }
    bool ok = false;
    const double n = t.toDouble(&ok);
    return ok && n != 0;
}
