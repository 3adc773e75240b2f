#pragma once

#include "Options.h"

#include <QList>
#include <QString>
#include <QVariant>
#include <utility>

// The user's options under application "Vodidore", section "Archive", in an INI file. Keys match
// without regard to case; a value reads back as it was written (see IniText). The file holds the
// FTP password, so it is kept readable by its owner only. Nothing is cached: a save takes effect
// at the next read.
class Settings {
public:
    explicit Settings(QString filePath = defaultFilePath());

    // $XDG_CONFIG_HOME/Vodidore.ini (~/.config/Vodidore.ini by default).
    static QString defaultFilePath();

    // The default also when the file cannot be read; readProblem() then says why.
    QString ReadOption(const QString& key, const QVariant& defaultValue) const;

    // The option's text, or its declared default while it is absent.
    QString text(const Option& option) const;
    // A truth value: "True" or any non-zero number is true.
    bool isOn(const Option& option) const;
    // The "Port" setting when it holds a number from 1 to 65535, else 21.
    int port() const;
    // "Path in FTP" as a folder (asRemoteFolder).
    QString remoteFolder() const;
    // The "Store" setting, or the default store folder while it is empty.
    QString storeFolder() const;

    // Raises VError when the file cannot be read or written; the old file then stays as it was.
    void WriteOption(const QString& key, const QVariant& value);
    // Writes the keys in the order given, in one save of the file: all of them or, when the
    // file cannot be read or written, none.
    void WriteOptions(const QList<std::pair<QString, QVariant>>& values);

    // Why the settings file, which exists, cannot be read (a folder, no permission, no INI
    // text); empty when it can be read or does not exist.
    QString readProblem() const;

    const QString& filePath() const { return m_filePath; }

private:
    QString m_filePath;
};

// "Path in FTP" as a folder: "/" added when it names one without a trailing "/" or "\"; empty
// stays empty (the log-on folder).
QString asRemoteFolder(const QString& ftpPath);

// A setting read as a truth value: "True" or any non-zero number is true.
bool optionIsTrue(const QString& text);
