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

void EventLogLines::appendLine(const QString& text, int icon) {
    m_lines.push_back(Line{text, icon});
}

void EventLogLines::clear() {
    m_lines.clear();
}
