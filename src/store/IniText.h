#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>

// The lines of an INI file, enough to read and replace the keys of one group and keep every
// other line as it was. Groups and keys match without regard to case. A value is the text after
// the first "=" as it stands, blanks around it aside: commas, quotes and backslashes in it are
// plain characters. Only a value wholly in double quotes is unquoted, with the escapes Qt's
// settings use inside quotes, and a leading "@@" is one "@", so that files Qt wrote read as
// they did.
class IniText {
public:
    explicit IniText(const QByteArray& bytes = {});

    // Why the bytes are no INI text (binary data, a line that is neither a group, a key nor a
    // comment); empty when they are.
    const QString& problem() const { return m_problem; }

    std::optional<QString> value(const QString& group, const QString& key) const;
    // One line for the key in place of the first of any case; a missing group is added.
    void setValue(const QString& group, const QString& key, const QString& value);
    QByteArray bytes() const;

private:
    QStringList m_lines;
    QString m_problem;
};

// A value as written after "=": as it is when that reads back the same here and in Qt's
// settings, else in double quotes with Qt's escapes.
QString iniValueText(const QString& value);
// The value a text after "=" stands for.
QString iniTextValue(const QString& text);
