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
    // How many of the session's archives to keep; 0 keeps all.
    int keep = 0;
    // Name patterns left out of the session's folders, one a line ("*.tmp", "node_modules/").
    QString skip;
};

enum class Frequency { Once = 0, Daily = 1, Weekly = 2, Monthly = 3 };
