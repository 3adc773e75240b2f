#pragma once

#include <QList>
#include <QString>
#include <QVariant>
#include <utility>

// The user's options under application "Vodidore", section "Archive", in an INI file. Keys match
// without regard to case; values are read back trimmed. The file holds the FTP password, so it
// is kept readable by its owner only.
class Settings {
public:
    explicit Settings(QString filePath = defaultFilePath());

    // $XDG_CONFIG_HOME/Vodidore.ini (~/.config/Vodidore.ini by default).
    static QString defaultFilePath();

    QString ReadOption(const QString& key, const QVariant& defaultValue) const;
    // Raises VError when the file cannot be written; the old file then stays as it was.
    void WriteOption(const QString& key, const QVariant& value);
    // Writes the keys in the order given, in one save of the file: all of them or, when the
    // file cannot be written, none.
    void WriteOptions(const QList<std::pair<QString, QVariant>>& values);

    const QString& filePath() const { return m_filePath; }

private:
    QString m_filePath;
};

// A setting read as a truth value: "True" or any non-zero number is true.
bool optionIsTrue(const QString& text);
