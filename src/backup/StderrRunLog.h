#pragma once

#include "RunObserver.h"
#include "common/DateTime.h"

#include <functional>

// The view of a run without a display: each log line on one line of standard error, with the
// time, "[ok]" or "[failed]" and the session's name.
class StderrRunLog : public RunObserver {
public:
    using LineWriter = std::function<void(const QString& line)>;

    StderrRunLog(QString sessionName, Clock clock, LineWriter writer = {});

    void pathsRead(const QStringList&) override {}
    void appendLine(const QString& text, int icon) override;
    void clear() override {}

private:
    QString m_sessionName;
    Clock m_clock;
    LineWriter m_writer;
};
