#pragma once

#include <QString>
#include <compare>
#include <cstdint>
#include <functional>
#include <optional>

// A naive local date-time to the second: whole seconds since 30 December 1899 00:00:00.
// The zero date (that very moment) stands for "no date" where a computation fails.
class DateTime {
public:
    static constexpr std::int64_t SecondsPerMinute = 60;
    static constexpr std::int64_t SecondsPerDay = 86400;

    constexpr DateTime() = default;
    static constexpr DateTime fromSeconds(std::int64_t seconds) { return DateTime(seconds); }
    // Empty when the parts do not name a real moment (month 13, 31 April, hour 24 …).
    static std::optional<DateTime> fromParts(int year, int month, int day, int hour = 0,
                                             int minute = 0, int second = 0);

    // 'YYYY-MM-DD HH:MM:SS', the form the session database stores.
    static std::optional<DateTime> fromStoredText(const QString& text);
    QString toStoredText() const;

    constexpr std::int64_t seconds() const { return m_seconds; }
    constexpr bool isZero() const { return m_seconds == 0; }

    std::int64_t dayNumber() const;    // whole days since the zero date
    std::int64_t secondsOfDay() const; // 0 … 86399
    int year() const;
    int month() const;
    int day() const;
    int hour() const;
    int minute() const;
    int second() const;
    int weekday() const;   // 1 = Sunday … 7 = Saturday
    int dayOfYear() const; // 1 … 366

    constexpr DateTime addDays(std::int64_t days) const {
        return DateTime(m_seconds + days * SecondsPerDay);
    }
    constexpr DateTime addMinutes(std::int64_t minutes) const {
        return DateTime(m_seconds + minutes * SecondsPerMinute);
    }
    constexpr DateTime addSeconds(std::int64_t seconds) const {
        return DateTime(m_seconds + seconds);
    }

    constexpr auto operator<=>(const DateTime&) const = default;

private:
    constexpr explicit DateTime(std::int64_t seconds)
        : m_seconds(seconds) {}

    struct Civil {
        int year;
        int month;
        int day;
    };
    Civil civil() const;

    std::int64_t m_seconds = 0;
};

// "Now" as the program sees it; production reads the local wall clock, tests move it by hand.
using Clock = std::function<DateTime()>;
DateTime localNow();
