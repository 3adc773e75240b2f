#include "AsText.h"

#include "common/DatePattern.h"

#include <stdexcept>

namespace {

constexpr qsizetype LongestTitle = 60;

// Only blanks are trimmed: other white space is part of what the user typed.
QString trimBlanks(const QString& text) {
    qsizetype first = 0;
    qsizetype last = text.size();
    while (first < last && text[first] == QLatin1Char(' ')) {
        ++first;
    }
    while (last > first && text[last - 1] == QLatin1Char(' ')) {
        --last;
    }
    return text.mid(first, last - first);
}

QString title(const QString& name) {
    QString s = name;
    s.replace(QStringLiteral("\r\n"), QStringLiteral(" "));
    // Titles typed on this desktop break lines with a bare line feed.
    s.replace(QLatin1Char('\n'), QLatin1Char(' '));
    s.replace(QLatin1Char('\r'), QLatin1Char(' '));
    s = trimBlanks(s);
    if (s.size() > LongestTitle) {
        qsizetype keep = LongestTitle;
        // Never leave half of a character that takes two code units.
        if (s[keep - 1].isHighSurrogate()) {
            --keep;
        }
        s = s.left(keep) + QStringLiteral(" ... ");
    }
    return s;
}

const QString& caption(const QStringList& captions, qsizetype index) {
    if (index < 0 || index >= captions.size()) {
        throw std::out_of_range("no caption");
    }
    return captions[index];
}

const DateTime& required(const std::optional<DateTime>& value) {
    if (!value) {
        throw std::invalid_argument("no date");
    }
    return *value;
}

QString dayList(const std::optional<int>& days, const QStringList& weekdays) {
    if (!days) {
        return QString();
    }
    switch (*days) {
    case 127:
        return QStringLiteral("All days");
    case 62:
        return QStringLiteral("Workdays");
    case 65:
        return QStringLiteral("Without work days");
    default:
        break;
    }
    QStringList names;
    for (int i = 0; i < 7; ++i) {
        if (*days & (1 << i)) {
            names << caption(weekdays, i).left(2);
        }
    }
    return names.join(QLatin1Char(','));
}

// A week of -1 means no week was chosen; like an unselected list it has no caption.
QString weekCaption(const std::optional<int>& week, const QStringList& weeks) {
    if (!week) {
        throw std::invalid_argument("no week");
    }
    return *week >= 0 && *week < weeks.size() ? weeks[*week] : QString();
}

QString schedule(const BackupSession& row, const QString& s, const ScheduleCaptions& captions,
                 const QLocale& locale) {
    switch (row.freq.value_or(-1)) {
    case static_cast<int>(Frequency::Once):
        return s + QStringLiteral(" [") + caption(captions.frequencies, 0) + QStringLiteral("]");
    case static_cast<int>(Frequency::Daily):
        return trimBlanks(s + QStringLiteral(" [") +
                          formatDate(required(row.date), QStringLiteral("hh:mm"), locale) +
                          QStringLiteral(" (") + dayList(row.days, captions.weekdays)) +
               QStringLiteral(")]");
    case static_cast<int>(Frequency::Weekly):
        return s + QStringLiteral(" [") +
               formatDate(required(row.date), QStringLiteral("dddd"), locale) +
               QStringLiteral(" (") + weekCaption(row.week, captions.weeks) + QStringLiteral(")]");
    case static_cast<int>(Frequency::Monthly):
        return s + QStringLiteral(" [") +
               formatDate(required(row.date), QStringLiteral("dd"), locale) + QStringLiteral("]");
    default:
        return s;
    }
}

} // namespace

QStringList defaultFrequencyCaptions() {
    return {QStringLiteral("One Time"), QStringLiteral("Daily"), QStringLiteral("Weekly"),
            QStringLiteral("Monthly")};
}

QStringList defaultWeekCaptions() {
    return {QStringLiteral("All weeks of month"), QStringLiteral("Every first week"),
            QStringLiteral("Every second week"),  QStringLiteral("Every third week"),
            QStringLiteral("Every fourth week"),  QStringLiteral("Every fifth week")};
}

QStringList defaultWeekdayCaptions() {
    return {QStringLiteral("Sunday"),    QStringLiteral("Monday"),   QStringLiteral("Tuesday"),
            QStringLiteral("Wednesday"), QStringLiteral("Thursday"), QStringLiteral("Friday"),
            QStringLiteral("Saturday")};
}

QString AsText(const BackupSession& row, const ScheduleCaptions& captions, const QLocale& locale) {
    try {
        return trimBlanks(schedule(row, title(row.name), captions, locale));
    } catch (...) {
        return QString();
    }
}
