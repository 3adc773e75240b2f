#include "DateText.h"

#include <QDate>
#include <QLocale>
#include <QRegularExpression>

namespace {

// Two-digit (and one-digit) years 00-29 are in the 2000s, 30-99 in the 1900s.
int fullYear(const QString& digits) {
    const int year = digits.toInt();
    if (digits.size() > 2) {
        return year;
    }
    return year + (year < 30 ? 2000 : 1900);
}

// The locale's short date form, with its year read as the fixed forms read theirs.
std::optional<DateTime> localeDate(const QString& text) {
    const QLocale locale;
    const QString shortForm = locale.dateFormat(QLocale::ShortFormat);
    if (shortForm.contains(QLatin1String("yyyy"))) {
        const QDate date = locale.toDate(text, shortForm);
        return date.isValid() ? DateTime::fromParts(date.year(), date.month(), date.day())
                              : std::nullopt;
    }
    QString longYear = shortForm;
    longYear.replace(QLatin1String("yy"), QLatin1String("yyyy"));
    if (const QDate date = locale.toDate(text, longYear); date.isValid()) {
        return DateTime::fromParts(date.year(), date.month(), date.day());
    }
    const QDate date = locale.toDate(text, shortForm);
    if (!date.isValid()) {
        return std::nullopt;
    }
    return DateTime::fromParts(fullYear(QString::number(date.year() % 100)), date.month(),
                               date.day());
}

std::optional<DateTime> datePart(const QString& text) {
    static const QRegularExpression slashes(
        QStringLiteral(R"(^(\d{1,2})/(\d{1,2})/(\d{4}|\d{1,2})$)"));
    static const QRegularExpression iso(QStringLiteral(R"(^(\d{4})-(\d{1,2})-(\d{1,2})$)"));
    std::optional<DateTime> date;
    if (const auto m = slashes.match(text); m.hasMatch()) {
        date = DateTime::fromParts(fullYear(m.captured(3)), m.captured(1).toInt(),
                                   m.captured(2).toInt());
    } else if (const auto m = iso.match(text); m.hasMatch()) {
        date = DateTime::fromParts(m.captured(1).toInt(), m.captured(2).toInt(),
                                   m.captured(3).toInt());
    }
    // "24/12/2026" is no month/day date, but may be the locale's day/month one.
    return date ? date : localeDate(text);
}

// Seconds since midnight.
std::optional<int> timePart(const QString& text) {
    static const QRegularExpression form(QStringLiteral(R"(^(\d{1,2}):(\d{2})(?::(\d{2}))?$)"));
    const auto m = form.match(text);
    const int hour = m.captured(1).toInt(), minute = m.captured(2).toInt();
    const int second = m.captured(3).toInt();
    if (!m.hasMatch() || hour > 23 || minute > 59 || second > 59) {
        return std::nullopt;
    }
    return (hour * 60 + minute) * 60 + second;
}

} // namespace

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
    const QString trimmed = text.trimmed();
    if (const auto time = timePart(trimmed)) {
        return DateTime().addSeconds(*time);
    }
    if (const auto date = datePart(trimmed)) {
        return date;
    }
    // A date and a time joined by exactly one blank; the locale's date may hold blanks itself.
    const qsizetype blank = trimmed.lastIndexOf(QLatin1Char(' '));
    if (blank <= 0 || trimmed.at(blank - 1) == QLatin1Char(' ')) {
        return std::nullopt;
    }
    const auto date = datePart(trimmed.left(blank));
    const auto time = timePart(trimmed.mid(blank + 1));
    return date && time ? std::optional<DateTime>(date->addSeconds(*time)) : std::nullopt;
}

QStringList dateTextForms() {
    QStringList forms{QStringLiteral("mm/dd/yyyy"), QStringLiteral("mm/dd/yy"),
                      QStringLiteral("yyyy-mm-dd")};
    const QString local = QLocale().dateFormat(QLocale::ShortFormat).toLower();
    if (!forms.contains(local) && local != QLatin1String("m/d/yy")) {
        forms << local;
    }
    return forms;
}
