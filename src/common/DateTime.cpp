#include "DateTime.h"

#include <algorithm>
#include <ctime>

namespace {

constexpr std::int64_t floorDiv(std::int64_t a, std::int64_t b) {
    return a / b - ((a % b != 0) && ((a < 0) != (b < 0)) ? 1 : 0);
}

// Days from 1970-01-01 to a proleptic Gregorian date (H. Hinnant's civil algorithm).
constexpr std::int64_t daysFromCivil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const std::int64_t era = floorDiv(y, 400);
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

constexpr std::int64_t ZeroDateFromUnixDays = daysFromCivil(1899, 12, 30);

bool isLeap(int y) {
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

int daysInMonth(int y, int m) {
    static constexpr int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && isLeap(y) ? 29 : days[m - 1];
}

} // namespace

std::optional<DateTime> DateTime::fromParts(int year, int month, int day, int hour, int minute,
                                            int second) {
    if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 ||
        day > daysInMonth(year, month) || hour < 0 || hour > 23 || minute < 0 || minute > 59 ||
        second < 0 || second > 59) {
        return std::nullopt;
    }
    const std::int64_t days = daysFromCivil(year, month, day) - ZeroDateFromUnixDays;
    return DateTime(days * SecondsPerDay + hour * 3600 + minute * 60 + second);
}

std::optional<DateTime> DateTime::fromStoredText(const QString& text) {
    // Read on every scheduler tick for every session: a hand-written scan, not a regex.
    const QString t = text.trimmed();
    qsizetype pos = 0;
    auto number = [&](int minDigits, int maxDigits) -> std::optional<int> {
        int value = 0;
        int digits = 0;
        while (pos < t.size() && digits < maxDigits && t[pos].isDigit()) {
            value = value * 10 + t[pos].digitValue();
            ++pos;
            ++digits;
        }
        return digits >= minDigits ? std::optional<int>(value) : std::nullopt;
    };
    auto expect = [&](QChar c) {
        if (pos < t.size() && t[pos] == c) {
            ++pos;
            return true;
        }
        return false;
    };
    const auto y = number(4, 4);
    if (!y || !expect(QLatin1Char('-'))) {
        return std::nullopt;
    }
    const auto mo = number(1, 2);
    if (!mo || !expect(QLatin1Char('-'))) {
        return std::nullopt;
    }
    const auto d = number(1, 2);
    if (!d) {
        return std::nullopt;
    }
    std::optional<int> h = 0;
    std::optional<int> mi = 0;
    std::optional<int> s = 0;
    if (pos < t.size()) {
        if (!expect(QLatin1Char(' ')) && !expect(QLatin1Char('T'))) {
            return std::nullopt;
        }
        h = number(1, 2);
        if (!h || !expect(QLatin1Char(':')) || !(mi = number(1, 2))) {
            return std::nullopt;
        }
        if (expect(QLatin1Char(':')) && !(s = number(1, 2))) {
            return std::nullopt;
        }
    }
    if (pos != t.size()) {
        return std::nullopt;
    }
    return fromParts(*y, *mo, *d, *h, *mi, *s);
}

QString DateTime::toStoredText() const {
    const Civil c = civil();
    return QStringLiteral("%1-%2-%3 %4:%5:%6")
        .arg(c.year, 4, 10, QLatin1Char('0'))
        .arg(c.month, 2, 10, QLatin1Char('0'))
        .arg(c.day, 2, 10, QLatin1Char('0'))
        .arg(hour(), 2, 10, QLatin1Char('0'))
        .arg(minute(), 2, 10, QLatin1Char('0'))
        .arg(second(), 2, 10, QLatin1Char('0'));
}

std::int64_t DateTime::dayNumber() const {
    return floorDiv(m_seconds, SecondsPerDay);
}

std::int64_t DateTime::secondsOfDay() const {
    return m_seconds - dayNumber() * SecondsPerDay;
}

DateTime::Civil DateTime::civil() const {
    const std::int64_t z = dayNumber() + ZeroDateFromUnixDays + 719468;
    const std::int64_t era = floorDiv(z, 146097);
    const auto doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    const unsigned d = doy - (153 * mp + 2) / 5 + 1;
    const unsigned m = mp < 10 ? mp + 3 : mp - 9;
    const std::int64_t y = static_cast<std::int64_t>(yoe) + era * 400 + (m <= 2 ? 1 : 0);
    return Civil{static_cast<int>(y), static_cast<int>(m), static_cast<int>(d)};
}

int DateTime::year() const {
    return civil().year;
}

int DateTime::month() const {
    return civil().month;
}

int DateTime::day() const {
    return civil().day;
}

int DateTime::hour() const {
    return static_cast<int>(secondsOfDay() / 3600);
}

int DateTime::minute() const {
    return static_cast<int>(secondsOfDay() / 60 % 60);
}

int DateTime::second() const {
    return static_cast<int>(secondsOfDay() % 60);
}

int DateTime::weekday() const {
    // The zero date was a Saturday.
    return static_cast<int>((dayNumber() % 7 + 7 + 6) % 7) + 1;
}

int DateTime::dayOfYear() const {
    const Civil c = civil();
    return static_cast<int>(daysFromCivil(c.year, c.month, c.day) - daysFromCivil(c.year, 1, 1)) +
           1;
}

DateTime localNow() {
    const std::time_t t = std::time(nullptr);
    std::tm local{};
    localtime_r(&t, &local);
    return *DateTime::fromParts(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                                local.tm_hour, local.tm_min, std::min(local.tm_sec, 59));
}
