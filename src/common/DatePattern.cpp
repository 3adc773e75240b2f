#include "DatePattern.h"

#include "common/DateText.h"

namespace {

enum class Token { Literal, Year, Month, Day, Hour, Minute, Second, Week };

QString padded(int value, int width) {
    return QStringLiteral("%1").arg(value, width, 10, QLatin1Char('0'));
}

// Length of the run of `letter` at `pos`, capped at `longest`.
int runLength(const QString& pattern, qsizetype pos, QChar letter, int longest) {
    int n = 0;
    while (pos + n < pattern.size() && n < longest && pattern[pos + n].toLower() == letter) {
        ++n;
    }
    return n;
}

// Week of the year with Sunday as the first day; the week holding 1 January is week 1.
int weekOfYear(const DateTime& value) {
    const int jan1Weekday = value.addDays(1 - value.dayOfYear()).weekday();
    return (value.dayOfYear() - 1 + jan1Weekday - 1) / 7 + 1;
}

QString weekdayName(const DateTime& value, const QLocale& locale, QLocale::FormatType format) {
    // QLocale counts Monday = 1 … Sunday = 7.
    const int qtDay = value.weekday() == 1 ? 7 : value.weekday() - 1;
    return locale.dayName(qtDay, format);
}

} // namespace

QString formatDate(const DateTime& value, const QString& pattern, const QLocale& locale) {
    if (pattern.isEmpty()) {
        return generalDateText(value);
    }
    QString out;
    Token previous = Token::Literal;
    qsizetype pos = 0;
    while (pos < pattern.size()) {
        const QChar letter = pattern[pos].toLower();
        int n = 1;
        Token token = Token::Literal;
        switch (letter.unicode()) {
        case 'y':
            n = runLength(pattern, pos, letter, 4);
            if (n == 4) {
                out += padded(value.year(), 4);
                token = Token::Year;
            } else if (n >= 2) {
                n = 2;
                out += padded(value.year() % 100, 2);
                token = Token::Year;
            } else {
                out += pattern[pos];
            }
            break;
        case 'm':
            n = runLength(pattern, pos, letter, 4);
            if (n >= 3) {
                out += locale.monthName(value.month(),
                                        n == 4 ? QLocale::LongFormat : QLocale::ShortFormat);
                token = Token::Month;
            } else if (previous == Token::Hour) {
                out += n == 2 ? padded(value.minute(), 2) : QString::number(value.minute());
                token = Token::Minute;
            } else {
                out += n == 2 ? padded(value.month(), 2) : QString::number(value.month());
                token = Token::Month;
            }
            break;
        case 'd':
            n = runLength(pattern, pos, letter, 4);
            if (n >= 3) {
                out +=
                    weekdayName(value, locale, n == 4 ? QLocale::LongFormat : QLocale::ShortFormat);
            } else {
                out += n == 2 ? padded(value.day(), 2) : QString::number(value.day());
            }
            token = Token::Day;
            break;
        case 'h':
            n = runLength(pattern, pos, letter, 2);
            out += n == 2 ? padded(value.hour(), 2) : QString::number(value.hour());
            token = Token::Hour;
            break;
        case 'n':
            n = runLength(pattern, pos, letter, 2);
            out += n == 2 ? padded(value.minute(), 2) : QString::number(value.minute());
            token = Token::Minute;
            break;
        case 's':
            n = runLength(pattern, pos, letter, 2);
            out += n == 2 ? padded(value.second(), 2) : QString::number(value.second());
            token = Token::Second;
            break;
        case 'w':
            n = runLength(pattern, pos, letter, 2);
            if (n == 2) {
                out += QString::number(weekOfYear(value));
                token = Token::Week;
            } else {
                out += pattern[pos];
            }
            break;
        default:
            out += pattern[pos];
            break;
        }
        if (token != Token::Literal) {
            previous = token;
        }
        pos += n;
    }
    return out;
}
