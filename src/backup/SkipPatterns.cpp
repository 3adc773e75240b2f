#include "SkipPatterns.h"

#include <optional>

namespace {

// The glob as a regular expression of one path, "*" and "?" never crossing "/"; empty when a
// "[" is never closed.
std::optional<QString> globExpression(const QString& glob) {
    QString out;
    for (qsizetype i = 0; i < glob.size(); ++i) {
        const QChar c = glob[i];
        if (c == QLatin1Char('*')) {
            out += QStringLiteral("[^/]*");
        } else if (c == QLatin1Char('?')) {
            out += QStringLiteral("[^/]");
        } else if (c == QLatin1Char('[')) {
            const qsizetype close = glob.indexOf(QLatin1Char(']'), i + 2);
            if (close < 0) {
                return std::nullopt;
            }
            QString set = glob.mid(i + 1, close - i - 1);
            if (set.startsWith(QLatin1Char('!'))) {
                set[0] = QLatin1Char('^');
            }
            set.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
            out += QLatin1Char('[') + set + QLatin1Char(']');
            i = close;
        } else {
            out += QRegularExpression::escape(QString(c));
        }
    }
    return out;
}

} // namespace

SkipPatterns::SkipPatterns(const QString& lines) {
    for (const QString& line : lines.split(QLatin1Char('\n'))) {
        QString glob = line.trimmed();
        if (glob.isEmpty()) {
            continue;
        }
        Pattern pattern;
        pattern.foldersOnly = glob.endsWith(QLatin1Char('/'));
        while (glob.endsWith(QLatin1Char('/'))) {
            glob.chop(1);
        }
        pattern.wholePath = glob.contains(QLatin1Char('/'));
        while (glob.startsWith(QLatin1Char('/'))) {
            glob.remove(0, 1);
        }
        const auto expression = glob.isEmpty() ? std::nullopt : globExpression(glob);
        if (!expression) {
            m_problem = QStringLiteral("\"%1\" is not a pattern: %2")
                            .arg(line.trimmed(), glob.isEmpty()
                                                     ? QStringLiteral("it names no file or folder")
                                                     : QStringLiteral("a \"[\" is never closed"));
            m_patterns.clear();
            return;
        }
        pattern.expression = QRegularExpression(QRegularExpression::anchoredPattern(*expression));
        if (!pattern.expression.isValid()) {
            m_problem = QStringLiteral("\"%1\" is not a pattern: %2")
                            .arg(line.trimmed(), pattern.expression.errorString());
            m_patterns.clear();
            return;
        }
        m_patterns.push_back(std::move(pattern));
    }
}

bool SkipPatterns::skips(const QString& relative, bool isFolder) const {
    const QString name = relative.section(QLatin1Char('/'), -1);
    for (const Pattern& pattern : m_patterns) {
        if ((!pattern.foldersOnly || isFolder) &&
            pattern.expression.match(pattern.wholePath ? relative : name).hasMatch()) {
            return true;
        }
    }
    return false;
}
