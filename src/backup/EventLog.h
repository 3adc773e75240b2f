#pragma once

#include "common/Error.h"

#include <QString>
#include <vector>

// Small icons of a log line: the green check mark and the red cross.
enum LogIcon : int { IconSuccess = 1, IconFailure = 2 };

// A log list: one-line messages, each with a small icon, appended at the end and never edited.
// The event window shows one; a run writes into whichever it is given.
class EventLog {
public:
    virtual ~EventLog() = default;
    // Appends a line and brings it into view.
    virtual void appendLine(const QString& text, int icon) = 0;
    virtual void clear() = 0;
};

void LogLine(EventLog& list, const QString& text, int icon);
// Appends the text of CurrentError() and clears it.
void LogError(EventLog& list, int icon);

// An error as one log line: "description (0xHEX)" with line breaks joined by a space and
// doubled spaces halved.
QString errorLogText(const ErrorRecord& error);

// A line as it may reach the log, standard error and the history: the password (when given)
// masked, control characters and terminal escapes replaced, at most MaxLineLength characters
// and a note saying what was cut.
inline constexpr int MaxLineLength = 1000;
QString printableLine(const QString& text, const QString& password = {});

// A log list held in memory, for runs without a window.
class EventLogLines : public EventLog {
public:
    struct Line {
        QString text;
        int icon = 0;
        bool operator==(const Line&) const = default;
    };

    void appendLine(const QString& text, int icon) override;
    void clear() override;
    const std::vector<Line>& lines() const { return m_lines; }

private:
    std::vector<Line> m_lines;
};
