#include "EventLog.h"

void LogLine(EventLog& list, const QString& text, int icon) {
    list.appendLine(text, icon);
}

void LogError(EventLog& list, int icon) {
    list.appendLine(errorLogText(CurrentError()), icon);
    clearCurrentError();
}

QString errorLogText(const ErrorRecord& error) {
    QString text = errorLineText(error);
    text.replace(QStringLiteral("\r\n"), QStringLiteral(" "));
    // One left-to-right pass: three spaces become two, as users of the log have always seen.
    text.replace(QStringLiteral("  "), QStringLiteral(" "));
    return text;
}

QString printableLine(const QString& text, const QString& password) {
    QString line = text;
    if (!password.isEmpty()) {
        line.replace(password, QStringLiteral("********"));
    }
    for (QChar& c : line) {
        // ESC starts every terminal escape; without it the rest is plain text.
        if (c.category() == QChar::Other_Control || c.category() == QChar::Other_Format ||
            c.category() == QChar::Separator_Line || c.category() == QChar::Separator_Paragraph) {
            c = QChar(0xFFFD);
        }
    }
    if (line.size() > MaxLineLength) {
        const qsizetype cut = line.size() - MaxLineLength;
        line.truncate(MaxLineLength);
        line += QStringLiteral(" [%1 more characters cut]").arg(cut);
    }
    return line;
}

void EventLogLines::appendLine(const QString& text, int icon) {
    m_lines.push_back(Line{text, icon});
}

void EventLogLines::clear() {
    m_lines.clear();
}
