#include "IniText.h"

#include <algorithm>
#include <iterator>

namespace {

bool isGroupLine(const QString& trimmed) {
    return trimmed.startsWith(QLatin1Char('[')) && trimmed.endsWith(QLatin1Char(']'));
}

bool isCommentLine(const QString& trimmed) {
    return trimmed.startsWith(QLatin1Char(';')) || trimmed.startsWith(QLatin1Char('#'));
}

bool isGroup(const QString& line, const QString& group) {
    const QString trimmed = line.trimmed();
    return isGroupLine(trimmed) &&
           trimmed.mid(1, trimmed.size() - 2).trimmed().compare(group, Qt::CaseInsensitive) == 0;
}

// The key of a key line, or empty text.
QString keyOf(const QString& line) {
    const QString trimmed = line.trimmed();
    if (isCommentLine(trimmed) || isGroupLine(trimmed)) {
        return QString();
    }
    return trimmed.section(QLatin1Char('='), 0, 0).trimmed();
}

QString valueOf(const QString& line) {
    return line.mid(line.indexOf(QLatin1Char('=')) + 1).trimmed();
}

// The escapes Qt's settings read inside quotes, by the letter after the backslash.
constexpr char Escapes[][2] = {{'a', '\a'}, {'b', '\b'}, {'f', '\f'}, {'n', '\n'},
                               {'r', '\r'}, {'t', '\t'}, {'v', '\v'}};

// The value of a hex digit, or -1.
int hexValue(QChar c) {
    const char16_t u = c.unicode();
    return u >= '0' && u <= '9'   ? u - '0'
           : u >= 'a' && u <= 'f' ? u - 'a' + 10
           : u >= 'A' && u <= 'F' ? u - 'A' + 10
                                  : -1;
}

bool isHexDigit(QChar c) {
    return hexValue(c) >= 0;
}

// The text between the quotes of a value wholly in quotes, escapes undone.
std::optional<QString> unquoted(const QString& text) {
    if (text.size() < 2 || !text.startsWith(QLatin1Char('"'))) {
        return std::nullopt;
    }
    QString out;
    for (qsizetype i = 1; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == QLatin1Char('"')) {
            return i == text.size() - 1 ? std::optional<QString>(out) : std::nullopt;
        }
        if (c != QLatin1Char('\\') || i + 1 == text.size()) {
            out += c;
            continue;
        }
        const QChar e = text[++i];
        const auto named =
            std::find_if(std::begin(Escapes), std::end(Escapes),
                         [e](const char* pair) { return e == QLatin1Char(pair[0]); });
        if (named != std::end(Escapes)) {
            out += QLatin1Char((*named)[1]);
        } else if (e == QLatin1Char('x') && i + 1 < text.size() && isHexDigit(text[i + 1])) {
            uint code = 0;
            while (i + 1 < text.size() && isHexDigit(text[i + 1])) {
                code = code * 16 + uint(hexValue(text[++i]));
            }
            out += QChar(char16_t(code));
        } else if (e >= QLatin1Char('0') && e <= QLatin1Char('7')) {
            uint code = uint(e.unicode() - '0');
            while (i + 1 < text.size() && text[i + 1] >= QLatin1Char('0') &&
                   text[i + 1] <= QLatin1Char('7')) {
                code = code * 8 + uint(text[++i].unicode() - '0');
            }
            out += QChar(char16_t(code));
        } else {
            out += e;
        }
    }
    return std::nullopt;
}

bool isControl(QChar c) {
    return c.unicode() < 0x20 || c.unicode() == 0x7F;
}

} // namespace

IniText::IniText(const QByteArray& bytes) {
    if (bytes.contains('\0')) {
        m_problem = QStringLiteral("it holds binary data");
        return;
    }
    QString text = QString::fromUtf8(bytes);
    if (text.startsWith(QChar(0xFEFF))) {
        text.remove(0, 1);
    }
    m_lines = text.split(QLatin1Char('\n'));
    if (!m_lines.isEmpty() && m_lines.back().isEmpty()) {
        m_lines.removeLast();
    }
    for (qsizetype i = 0; i < m_lines.size(); ++i) {
        QString& line = m_lines[i];
        if (line.endsWith(QLatin1Char('\r'))) {
            line.chop(1);
        }
        const QString trimmed = line.trimmed();
        if (!trimmed.isEmpty() && !isCommentLine(trimmed) && !isGroupLine(trimmed) &&
            !trimmed.contains(QLatin1Char('='))) {
            m_problem =
                QStringLiteral("line %1 is neither a group, a setting nor a comment").arg(i + 1);
            m_lines.clear();
            return;
        }
    }
}

std::optional<QString> IniText::value(const QString& group, const QString& key) const {
    bool inGroup = false;
    for (const QString& line : m_lines) {
        if (isGroupLine(line.trimmed())) {
            inGroup = isGroup(line, group);
        } else if (inGroup && keyOf(line).compare(key, Qt::CaseInsensitive) == 0) {
            return iniTextValue(valueOf(line));
        }
    }
    return std::nullopt;
}

void IniText::setValue(const QString& group, const QString& key, const QString& value) {
    qsizetype first = -1; // the first line of the key
    qsizetype end = -1;   // after the last line of the first group of that name
    int groupsSeen = 0;
    bool inGroup = false;
    for (qsizetype i = 0; i < m_lines.size(); ++i) {
        const QString trimmed = m_lines[i].trimmed();
        if (isGroupLine(trimmed)) {
            inGroup = isGroup(trimmed, group);
            groupsSeen += inGroup ? 1 : 0;
            if (inGroup && groupsSeen == 1) {
                end = i + 1;
            }
        } else if (inGroup && keyOf(trimmed).compare(key, Qt::CaseInsensitive) == 0) {
            first = first < 0 ? i : first;
            m_lines.removeAt(i--);
        } else if (inGroup && groupsSeen == 1 && !trimmed.isEmpty()) {
            end = i + 1;
        }
    }
    if (first < 0 && end < 0) {
        if (!m_lines.isEmpty() && !m_lines.back().trimmed().isEmpty()) {
            m_lines << QString();
        }
        m_lines << QLatin1Char('[') + group + QLatin1Char(']');
        end = m_lines.size();
    }
    m_lines.insert(first >= 0 ? first : end, key + QLatin1Char('=') + iniValueText(value));
}

QByteArray IniText::bytes() const {
    QByteArray out;
    for (const QString& line : m_lines) {
        out += line.toUtf8() + '\n';
    }
    return out;
}

QString iniValueText(const QString& value) {
    bool quote = value != value.trimmed() || value.startsWith(QLatin1Char('"')) ||
                 value.startsWith(QLatin1Char('@'));
    for (const QChar c : value) {
        quote = quote || isControl(c) || QStringLiteral(",;=\"\\").contains(c);
    }
    if (!quote) {
        return value;
    }
    // Qt's settings read a leading "@" as the start of a typed value unless it is doubled.
    QString out = value.startsWith(QLatin1Char('@')) ? QStringLiteral("\"@") : QStringLiteral("\"");
    bool afterHexEscape = false;
    for (const QChar c : value) {
        const auto named =
            std::find_if(std::begin(Escapes), std::end(Escapes),
                         [c](const char* pair) { return c == QLatin1Char(pair[1]); });
        if (c == QLatin1Char('\\') || c == QLatin1Char('"')) {
            out += QLatin1Char('\\');
            out += c;
        } else if (named != std::end(Escapes)) {
            out += QLatin1Char('\\');
            out += QLatin1Char((*named)[0]);
        } else if (isControl(c) || (afterHexEscape && isHexDigit(c))) {
            // A hex escape reads every hex digit after it, so one that follows is escaped too.
            out += QStringLiteral("\\x") + QString::number(c.unicode(), 16);
            afterHexEscape = true;
            continue;
        } else {
            out += c;
        }
        afterHexEscape = false;
    }
    return out + QLatin1Char('"');
}

QString iniTextValue(const QString& text) {
    QString value = unquoted(text).value_or(text);
    if (value.startsWith(QStringLiteral("@@"))) {
        value.remove(0, 1);
    }
    return value;
}
