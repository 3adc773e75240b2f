#include "PanelText.h"

#include "common/DateText.h"

std::optional<QString> dateBoxText(const QString& typed) {
    const auto value = parseDateText(typed);
    return value ? std::optional<QString>(generalDateText(*value)) : std::nullopt;
}

std::optional<QString> timeBoxText(const QString& typed) {
    const auto value = parseDateText(typed);
    return value ? std::optional<QString>(generalDateText(value->addSeconds(-value->second())))
                 : std::nullopt;
}

QString dateBoxText(const DateTime& moment) {
    return generalDateText(DateTime::fromSeconds(moment.dayNumber() * DateTime::SecondsPerDay));
}

QString timeBoxText(const DateTime& moment) {
    return generalDateText(DateTime::fromSeconds(moment.secondsOfDay() - moment.second()));
}
