#pragma once

#include "DateTime.h"

#include <QString>
#include <QStringList>
#include <optional>

// The general date text: "MM/dd/yyyy" for a value at midnight, "HH:mm:ss" for a value on the zero
// day, both joined by one blank otherwise. The same form on every locale, so that what the
// program writes always parses back to the same second.
QString generalDateText(const DateTime& value);

// Reads a date text, a time text, or a date and a time joined by one blank: dates as M/d/y,
// M/d/yy or M/d/yyyy (one- and two-digit years 00-29 are in the 2000s, 30-99 in the 1900s),
// yyyy-mm-dd, or the locale's short date; times as h:mm or h:mm:ss. A time alone lies on the
// zero day.
std::optional<DateTime> parseDateText(const QString& text);

// The date forms parseDateText reads, as a user would be told them ("yyyy-mm-dd", …).
QStringList dateTextForms();
