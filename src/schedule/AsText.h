#pragma once

#include "store/BackupSession.h"

#include <QLocale>
#include <QString>
#include <QStringList>

// The captions of the session editor's frequency list, week list and weekday check boxes, which
// the schedule description borrows. The window passes its controls' texts; these are the texts
// the editor is built with.
QStringList defaultFrequencyCaptions();
QStringList defaultWeekCaptions();
QStringList defaultWeekdayCaptions();

struct ScheduleCaptions {
    QStringList frequencies = defaultFrequencyCaptions(); // index = Freq
    QStringList weeks = defaultWeekCaptions();            // index = Week
    QStringList weekdays = defaultWeekdayCaptions();      // Sunday first
};

// One line for the session list: the title (line breaks as blanks, cut after 60 characters) and
// a bracketed summary of the schedule, e.g. "Mail [09:30 (Workdays)]". Weekday names of weekly
// sessions follow `locale`. The empty text when the row lacks what its frequency needs.
QString AsText(const BackupSession& row, const ScheduleCaptions& captions = {},
               const QLocale& locale = QLocale::system());
