#pragma once

#include "RunRecord.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <vector>

// The table runs: one row per run, written when it starts and again when it ends, so a run
// killed on the way is still found. Errors raise VError.
class RunHistory {
public:
    static constexpr int Kept = 1000;

    explicit RunHistory(QSqlDatabase db);

    // Called by the copy that holds the single-copy lock, before any run: rows still marked
    // running belong to a copy that was killed; only the newest Kept rows stay.
    void startUp();
    // Inserts the run as running; returns its id.
    qint64 begin(const RunRecord& run);
    // Writes the run's end, outcome, archive and lines over the row begin() made.
    void finish(const RunRecord& run);
    // Sessions whose time passed without a run, each as a row `missed` at its due time, in one
    // transaction.
    void recordMissed(const std::vector<RunRecord>& missed);

    // The archives the history records as this session's and not yet deleted, oldest first: of
    // good runs, or waiting to be sent, or sent later. A path or remote name that a later run of
    // any session recorded again belongs to that run, not to these.
    std::vector<RunRecord> archivesOf(int sessionId) const;
    // What a run did to earlier runs' archives, in one write.
    void changeArchives(const std::vector<ArchiveChange>& changes);

    // Newest first.
    std::vector<RunRecord> newest(int limit = Kept) const;
    // The id of the newest row, 0 for none.
    qint64 newestId() const;
    // Whether a row newer than `id` is one the user should look at (see isBad).
    bool badAfter(qint64 id) const;
    // Runs that wrote an archive, newest first, without their lines.
    std::vector<RunRecord> withArchives() const;

private:
    // The columns of a record, then `rest`: the lines column (or '') and the from clause.
    std::vector<RunRecord> select(const QString& rest, int limit) const;
    static std::vector<RunRecord> read(QSqlQuery q);

    QSqlDatabase m_db;
};

// The lines as the history keeps them: a JSON list of {"text", "ok"}.
QString linesToJson(const std::vector<RunLine>& lines);
std::vector<RunLine> linesFromJson(const QString& json);
