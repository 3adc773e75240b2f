#pragma once

#include "DateTime.h"

#include <QLocale>
#include <QString>

// Formats a date-time with the program's date patterns ("yymmddhhmm", "dd mmm yyyy - hh:mm
// (dddd)" …). Token letters match without regard to case; "m"/"mm" are minutes when the nearest
// token before them is an hour token. An empty pattern gives the general date text.
QString formatDate(const DateTime& value, const QString& pattern,
                   const QLocale& locale = QLocale::system());
