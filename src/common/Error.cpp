#include "Error.h"

#include <cstdio>

VError::VError(std::int32_t number, QString source, QString description)
    : VError(ErrorRecord{number, std::move(source), std::move(description)}) {
}

VError::VError(ErrorRecord record)
    : m_record(std::move(record))
    , m_what(errorLineText(m_record).toStdString()) {
}

ErrorRecord& CurrentError() {
    // One record per thread: a run packing and uploading in the background must not see, or
    // clear, the explorer's error on the user-interface thread.
    thread_local ErrorRecord current;
    return current;
}

void clearCurrentError() {
    CurrentError() = ErrorRecord{};
}

void recordCurrentError(std::int32_t number, const QString& description) {
    CurrentError() = ErrorRecord{number, QString(), description};
}

QString errorLineText(const ErrorRecord& error) {
    // Negative numbers show as their 32-bit two's complement, as the user knows them.
    const auto bits = static_cast<std::uint32_t>(error.number);
    return error.description + QStringLiteral(" (0x") + QString::number(bits, 16).toUpper() +
           QStringLiteral(")");
}

void writeToStandardError(const QString& line) {
    std::fputs((line + QLatin1Char('\n')).toLocal8Bit().constData(), stderr);
    std::fflush(stderr);
}
