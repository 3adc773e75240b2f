#pragma once

#include "common/DateTime.h"

#include <QString>
#include <optional>

// One row of table Tasks. Empty (NULL) or unreadable columns are empty optionals; callers
// decide what an empty value means for them.
struct BackupSession {
    int id = 0;
    QString name;
    std::optional<DateTime> date;
    std::optional<DateTime> ntime;
    std::optional<int> freq;
    std::optional<int> week;
    std::optional<int> days;
    bool autopack = false;
};

enum class Frequency { Once = 0, Daily = 1, Weekly = 2, Monthly = 3 };
