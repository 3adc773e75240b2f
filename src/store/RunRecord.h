#pragma once

#include "common/DateTime.h"

#include <QString>
#include <optional>
#include <vector>

// How a run came about, and how it ended; the words are what the history stores and prints.
// A restore is kept as a run too, so that the history tells what came back.
enum class RunKind { Scheduled, Now, CaughtUp, Command, Restore };
enum class RunOutcome { Running, Ok, Failed, Nothing, Missed, Interrupted };

// What became of a run's archive after the run: as the run left it, waiting in the store for a
// later run to send it (its upload failed), sent by a later run, or deleted to keep the last N.
enum class ArchiveState { AsLeft, Waiting, SentLater, Deleted };

// A later run sent or deleted the archive of run `runId`.
struct ArchiveChange {
    qint64 runId = 0;
    ArchiveState state = ArchiveState::AsLeft;
    QString destination;
};

QString kindWord(RunKind kind);
QString outcomeWord(RunOutcome outcome);
RunKind kindFromWord(const QString& word);
RunOutcome outcomeFromWord(const QString& word);
QString archiveStateWord(ArchiveState state);
ArchiveState archiveStateFromWord(const QString& word);
// A run the user should look at: it failed, made nothing, or never ran.
bool isBad(RunOutcome outcome);

struct RunLine {
    QString text;
    bool ok = true;
    bool operator==(const RunLine&) const = default;
};

// One run of a session as the history keeps it. The title is the session's name at the time.
struct RunRecord {
    qint64 id = 0;
    int sessionId = 0;
    QString session;
    RunKind kind = RunKind::Scheduled;
    DateTime start;
    std::optional<DateTime> end;
    RunOutcome outcome = RunOutcome::Running;
    QString archive;
    qint64 bytes = 0;
    int entries = 0;
    QString destination;
    ArchiveState archiveState = ArchiveState::AsLeft;
    std::vector<RunLine> lines;
};
