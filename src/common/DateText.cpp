#include "DateText.h"

#include <QRegularExpression>

QString generalDateText(const DateTime& value) {
    const QString date = QStringLiteral("%1/%2/%3")
                             .arg(value.month(), 2, 10, QLatin1Char('0'))
                             .arg(value.day(), 2, 10, QLatin1Char('0'))
                             .arg(value.year(), 4, 10, QLatin1Char('0'));
    const QString time = QStringLiteral("%1:%2:%3")
                             .arg(value.hour(), 2, 10, QLatin1Char('0'))
                             .arg(value.minute(), 2, 10, QLatin1Char('0'))
                             .arg(value.second(), 2, 10, QLatin1Char('0'));
    if (value.dayNumber() == 0) {
        return time;
    }
    if (value.secondsOfDay() == 0) {
        return date;
    }
    return date + QLatin1Char(' ') + time;
}

std::optional<DateTime> parseDateText(const QString& text) {
    static const QRegularExpression form(QStringLiteral(
        R"(^\s*(?:(\d{1,2})/(\d{1,2})/(\d{4}|\d{2}))?(?:(?<=\d) )?(?:(\d{1,2}):(\d{2})(?::(\d{2}))?)?\s*$)"));
    const auto match = form.match(text);
    const bool hasDate = match.hasMatch() && !match.captured(1).isEmpty();
    const bool hasTime = match.hasMatch() && !match.captured(4).isEmpty();
    if (!hasDate && !hasTime) {
        return std::nullopt;
    }
    // A date and a time must be joined by exactly one blank.
    if (hasDate && hasTime && match.capturedEnd(3) + 1 != match.capturedStart(4)) {
        return std::nullopt;
    }
    int year = 1899;
    int month = 12;
    int day = 30;
    if (hasDate) {
        month = match.captured(1).toInt();
        day = match.captured(2).toInt();
        year = match.captured(3).toInt();
        if (match.captured(3).size() == 2) {
            year += year < 30 ? 2000 : 1900;
        }
    }
    return DateTime::fromParts(year, month, day, match.captured(4).toInt(),
                               match.captured(5).toInt(), match.captured(6).toInt());
}
