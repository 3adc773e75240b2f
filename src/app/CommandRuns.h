#pragma once

#include "store/RunRecord.h"

#include <QString>
#include <optional>
#include <vector>

class SessionStore;
struct BackupSession;

// The command line's runs and history, without windows or a tray.
namespace CommandRuns {

// Exit codes of --run.
inline constexpr int UnknownTitle = 2;
int exitCode(RunOutcome outcome);
int exitCode(const QString& outcomeWord);

// The first session, in schedule order, named `title` (case as typed, else without regard to
// case).
std::optional<BackupSession> sessionNamed(const SessionStore& store, const QString& title);

// --run TITLE in this process, which holds the single-copy lock: the lines go to standard
// error, the run to the history. Returns the exit code.
int runHere(const QString& programDir, const QString& title);
// --history [--json]: the kept runs, newest first, on standard output. Returns the exit code.
int printHistory(bool json);

// One run as a JSON object on one line, and as text columns.
QString jsonLine(const RunRecord& run);
QString textLine(const RunRecord& run);

} // namespace CommandRuns
