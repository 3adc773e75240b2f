#pragma once

#include "common/DateTime.h"

#include <QString>
#include <optional>

// The texts the property panel writes into its date and time boxes. Each is general date text,
// so that whatever the panel shows parses back to the same value on Save.

// A date box's text, once the focus leaves it: the general date text of what it reads as;
// empty when it does not read as a date.
std::optional<QString> dateBoxText(const QString& typed);

// A time box's text with the seconds dropped: "7:05:59" gives "07:05:00"; empty when it does not
// read as a time.
std::optional<QString> timeBoxText(const QString& typed);

// The date box's and the time box's texts for a moment.
QString dateBoxText(const DateTime& moment);
QString timeBoxText(const DateTime& moment);
