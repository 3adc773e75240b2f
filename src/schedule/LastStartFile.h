#pragma once

#include "common/DateTime.h"

#include <QString>

// The minute the scheduler last started, kept in a small file beside the program so that a
// restart (or a crash and an autostart) within that minute does not start it again.
class LastStartFile {
public:
    explicit LastStartFile(QString path);

    // The zero date when nothing was kept or the file cannot be read.
    DateTime read() const;
    // Replaces the file as a whole. Raises VError when it cannot be written.
    void write(const DateTime& started) const;

private:
    QString m_path;
};
