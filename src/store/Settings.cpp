#include "Settings.h"

#include "common/Error.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QTemporaryFile>
#include <cerrno>
#include <cstdio>
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

// New contents are written to a temporary file that is renamed over the old one and made with
// mode 0600; creating the settings file first with that mode too keeps the password from ever
// being readable by others.
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

bool writeAll(int fd, const QByteArray& bytes) {
    const char* data = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t done = ::write(fd, data, static_cast<size_t>(left));
        if (done < 0 && errno == EINTR) {
            continue;
        }
        if (done <= 0) {
            return false;
        }
        data += done;
        left -= done;
    }
    return true;
}

// On disk before the rename, so that a crash leaves the old file or the new one, never an
// empty one.
bool syncFile(const QString& path) {
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    const bool synced = ::fsync(fd) == 0;
    ::close(fd);
    return synced;
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
    WriteOptions({{key, value}});
}

void Settings::WriteOptions(const QList<std::pair<QString, QVariant>>& values) {
    ensurePrivateFile(m_filePath);
    const VError failure(UnspecifiedErrorNumber, QStringLiteral("Settings::WriteOption"),
                         QStringLiteral("Cannot write settings file '%1'.").arg(m_filePath));
    // The new file is made beside the old one and takes its place only when it is whole.
    QTemporaryFile staged(m_filePath + QStringLiteral(".XXXXXX"));
    QTemporaryFile checked(m_filePath + QStringLiteral(".XXXXXX"));
    QFile current(m_filePath);
    if (!staged.open() || !checked.open() || !current.open(QIODevice::ReadOnly) ||
        !writeAll(staged.handle(), current.readAll()) || current.error() != QFile::NoError) {
        throw failure;
    }
    QMap<QString, QVariant> written;
    {
        QSettings s(staged.fileName(), QSettings::IniFormat);
        s.beginGroup(Group);
        for (const auto& [key, value] : values) {
            const QStringList keys = s.childKeys();
            for (const QString& stored : keys) {
                if (stored.compare(key, Qt::CaseInsensitive) == 0) {
                    s.remove(stored);
                }
            }
            s.setValue(key, textOf(value));
        }
        s.endGroup();
        s.sync();
        if (s.status() != QSettings::NoError) {
            throw failure;
        }
        for (const QString& key : s.allKeys()) {
            written.insert(key, s.value(key));
        }
    }
    // Qt's INI writer takes a short write (a full disk) for success: what it wrote is read back
    // under a name that no QSettings has seen, and so has not cached, before it is used.
    if (std::rename(QFile::encodeName(staged.fileName()).constData(),
                    QFile::encodeName(checked.fileName()).constData()) != 0) {
        throw failure;
    }
    {
        const QSettings back(checked.fileName(), QSettings::IniFormat);
        for (auto it = written.cbegin(); it != written.cend(); ++it) {
            if (back.value(it.key()) != it.value()) {
                throw failure;
            }
        }
        if (back.status() != QSettings::NoError || back.allKeys().size() != written.size()) {
            throw failure;
        }
    }
    if (!syncFile(checked.fileName()) ||
        std::rename(QFile::encodeName(checked.fileName()).constData(),
                    QFile::encodeName(m_filePath).constData()) != 0) {
        throw failure;
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
