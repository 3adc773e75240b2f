#pragma once

#include "common/DateTime.h"
#include "common/Messages.h"
#include "store/BackupSession.h"

// The date and time of the session's next run, from its start date, frequency, weekdays and week
// of the month; "now" is read from the clock afresh at every test. A weekly session whose week of
// the month never occurs shows "Impossible!" and gets its week lowered by one in `row` (not
// stored: the caller writes it together with the new next run time). Any failure yields the zero
// date; nothing is thrown.
DateTime NextRun(BackupSession& row, const Clock& now, Messages& messages);
