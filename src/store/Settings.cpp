#include "Settings.h"

#include "IniText.h"
#include "common/Error.h"
#include "common/UserFolders.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#include <QSettings>

namespace {

const QString Group = QStringLiteral("Archive");
const QString WriteSource = QStringLiteral("Settings::WriteOption");

QString textOf(const QVariant& value) {
    if (value.typeId() == QMetaType::Bool) {
        return value.toBool() ? QStringLiteral("True") : QStringLiteral("False");
    }
    return value.toString();
}

struct SettingsFile {
    IniText text;
    QString problem;
};

// An absent file reads as an empty one.
SettingsFile readFile(const QString& path) {
    const QFileInfo info(path);
    if (!info.exists()) {
        return {IniText(), QString()};
    }
    if (info.isDir()) {
        return {IniText(), QStringLiteral("it is a folder")};
    }
    if (!info.isFile()) {
        return {IniText(), QStringLiteral("it is not a file")};
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return {IniText(), file.errorString()};
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        return {IniText(), file.errorString()};
    }
    SettingsFile read{IniText(bytes), QString()};
    read.problem = read.text.problem();
    return read;
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
    const SettingsFile file = readFile(m_filePath);
    const auto stored = file.problem.isEmpty() ? file.text.value(Group, key) : std::nullopt;
    // A stored value is exact: blanks around an unquoted one are gone already, and a quoted one
    // keeps them (a password may begin or end with a blank).
    return stored ? *stored : textOf(defaultValue).trimmed();
}

QString Settings::text(const Option& option) const {
    return ReadOption(QLatin1String(option.key), QLatin1String(option.fallback));
}

bool Settings::isOn(const Option& option) const {
    return optionIsTrue(text(option));
}

int Settings::port() const {
    bool ok = false;
    const int port = text(Options::Port).trimmed().toInt(&ok);
    return ok && port >= 1 && port <= 65535 ? port
                                            : QString::fromLatin1(Options::Port.fallback).toInt();
}

QString Settings::remoteFolder() const {
    return asRemoteFolder(text(Options::FtpPath));
}

QString asRemoteFolder(const QString& ftpPath) {
    QString folder = ftpPath;
    if (!folder.isEmpty() && !folder.endsWith(QLatin1Char('/')) &&
        !folder.endsWith(QLatin1Char('\\'))) {
        folder += QLatin1Char('/');
    }
    return folder;
}

QString Settings::storeFolder() const {
    const QString store = text(Options::Store);
    return store.trimmed().isEmpty() ? QString::fromStdString(UserFolders::defaultStoreFolder())
                                     : store;
}

void Settings::WriteOption(const QString& key, const QVariant& value) {
    WriteOptions({{key, value}});
}

QString Settings::readProblem() const {
    return readFile(m_filePath).problem;
}

void Settings::WriteOptions(const QList<std::pair<QString, QVariant>>& values) {
    // Rewriting a file that could not be read would lose whatever it holds.
    SettingsFile file = readFile(m_filePath);
    if (!file.problem.isEmpty()) {
        throw VError(UnspecifiedErrorNumber, WriteSource,
                     QStringLiteral("Cannot write settings file '%1': it cannot be read (%2).")
                         .arg(m_filePath, file.problem));
    }
    for (const auto& [key, value] : values) {
        file.text.setValue(Group, key, textOf(value));
    }
    // The new text goes to a temporary file, made private before the password is in it, that
    // then replaces the old file in one step. Unbuffered, so that a short write (a full disk)
    // shows in the count written instead of passing unnoticed at the flush.
    QDir().mkpath(QFileInfo(m_filePath).absolutePath());
    QSaveFile out(m_filePath);
    const QByteArray bytes = file.text.bytes();
    if (!out.open(QIODevice::WriteOnly | QIODevice::Unbuffered) ||
        !out.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner) ||
        out.write(bytes) != bytes.size() || !out.commit()) {
        throw VError(UnspecifiedErrorNumber, WriteSource,
                     QStringLiteral("Cannot write settings file '%1': %2.")
                         .arg(m_filePath, out.errorString()));
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
