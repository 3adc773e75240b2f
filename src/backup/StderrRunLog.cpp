#include "StderrRunLog.h"

StderrRunLog::StderrRunLog(QString sessionName, Clock clock, LineWriter writer)
    : m_sessionName(std::move(sessionName))
    , m_clock(std::move(clock))
    , m_writer(writer ? std::move(writer) : LineWriter(writeToStandardError)) {
}

void StderrRunLog::appendLine(const QString& text, int icon) {
    m_writer(QStringLiteral("%1 %2 %3: %4")
                 .arg(m_clock().toStoredText(),
                      icon == IconFailure ? QStringLiteral("[failed]") : QStringLiteral("[ok]"),
                      m_sessionName, text));
}
