#include "RunHistory.h"

#include "SessionStore.h"
#include "SqlError.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSqlQuery>
#include <QVariant>

namespace {

const QString Source = QStringLiteral("RunHistory");

QSqlQuery exec(const QSqlDatabase& db, const QString& text, const QVariantList& values = {}) {
    return runQuery(db, text, values, Source);
}

QVariant stored(const std::optional<DateTime>& value) {
    return value ? QVariant(value->toStoredText()) : QVariant(QString());
}

void insert(const QSqlDatabase& db, const RunRecord& run) {
    exec(db,
         QStringLiteral("insert into runs (session_id, session, kind, start, \"end\", outcome, "
                        "archive, bytes, entries, destination, lines) "
                        "values (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"),
         {run.sessionId, run.session, kindWord(run.kind), run.start.toStoredText(), stored(run.end),
          outcomeWord(run.outcome), run.archive, run.bytes, run.entries, run.destination,
          linesToJson(run.lines)});
}

} // namespace

RunHistory::RunHistory(QSqlDatabase db)
    : m_db(std::move(db)) {
}

void RunHistory::startUp() {
    // Most starts find nothing to do: they write nothing.
    QSqlQuery q = exec(m_db, QStringLiteral("select count(*), sum(outcome='running') from runs"));
    if (!q.next() || (q.value(0).toInt() <= Kept && q.value(1).toInt() == 0)) {
        return;
    }
    q = QSqlQuery();
    Transaction transaction(m_db);
    exec(m_db, QStringLiteral("update runs set outcome='interrupted' where outcome='running'"));
    exec(m_db,
         QStringLiteral("delete from runs where id not in "
                        "(select id from runs order by id desc limit ?)"),
         {Kept});
    transaction.commit();
}

qint64 RunHistory::begin(const RunRecord& run) {
    insert(m_db, run);
    QSqlQuery q = exec(m_db, QStringLiteral("select last_insert_rowid()"));
    return q.next() ? q.value(0).toLongLong() : 0;
}

void RunHistory::finish(const RunRecord& run) {
    exec(m_db,
         QStringLiteral("update runs set session=?, \"end\"=?, outcome=?, archive=?, bytes=?, "
                        "entries=?, destination=?, lines=?, archive_state=? where id=?"),
         {run.session, stored(run.end), outcomeWord(run.outcome), run.archive, run.bytes,
          run.entries, run.destination, linesToJson(run.lines), archiveStateWord(run.archiveState),
          run.id});
}

void RunHistory::recordMissed(const std::vector<RunRecord>& missed) {
    Transaction transaction(m_db);
    for (const RunRecord& run : missed) {
        insert(m_db, run);
    }
    transaction.commit();
}

void RunHistory::changeArchives(const std::vector<ArchiveChange>& changes) {
    if (changes.empty())
        return;
    Transaction transaction(m_db);
    for (const ArchiveChange& change : changes) {
        exec(m_db, QStringLiteral("update runs set archive_state=?, destination=? where id=?"),
             {archiveStateWord(change.state), change.destination, change.runId});
    }
    transaction.commit();
}

std::vector<RunRecord> RunHistory::archivesOf(int sessionId) const {
    return read(exec(
        m_db,
        QStringLiteral(
            "select id, session_id, session, kind, start, \"end\", outcome, archive, bytes, "
            "entries, destination, lines, archive_state from runs r where session_id=? and "
            "archive<>'' and destination<>'' and coalesce(archive_state, '')<>'deleted' and "
            "(outcome='ok' or archive_state in ('waiting', 'sent_later')) and not exists "
            "(select 1 from runs later where later.destination=r.destination and later.id>r.id) "
            "order by id"),
        {sessionId}));
}

qint64 RunHistory::newestId() const {
    QSqlQuery q = exec(m_db, QStringLiteral("select coalesce(max(id), 0) from runs"));
    return q.next() ? q.value(0).toLongLong() : 0;
}

bool RunHistory::badAfter(qint64 id) const {
    QSqlQuery q = exec(m_db, QStringLiteral("select outcome from runs where id>?"), {id});
    while (q.next()) {
        if (isBad(outcomeFromWord(q.value(0).toString())))
            return true;
    }
    return false;
}

std::vector<RunRecord> RunHistory::newest(int limit) const {
    return select(QStringLiteral("lines, archive_state from runs"), limit);
}

std::vector<RunRecord> RunHistory::withArchives() const {
    return select(
        QStringLiteral("'', archive_state from runs where archive<>'' and kind<>'restore'"), Kept);
}

std::vector<RunRecord> RunHistory::select(const QString& rest, int limit) const {
    return read(exec(m_db,
                     QStringLiteral("select id, session_id, session, kind, start, \"end\", "
                                    "outcome, archive, bytes, entries, destination, ") +
                         rest + QStringLiteral(" order by start desc, id desc limit ?"),
                     {limit}));
}

std::vector<RunRecord> RunHistory::read(QSqlQuery q) {
    std::vector<RunRecord> runs;
    while (q.next()) {
        RunRecord r;
        r.id = q.value(0).toLongLong();
        r.sessionId = q.value(1).toInt();
        r.session = q.value(2).toString();
        r.kind = kindFromWord(q.value(3).toString());
        r.start = DateTime::fromStoredText(q.value(4).toString()).value_or(DateTime());
        r.end = DateTime::fromStoredText(q.value(5).toString());
        r.outcome = outcomeFromWord(q.value(6).toString());
        r.archive = q.value(7).toString();
        r.bytes = q.value(8).toLongLong();
        r.entries = q.value(9).toInt();
        r.destination = q.value(10).toString();
        r.lines = linesFromJson(q.value(11).toString());
        r.archiveState = archiveStateFromWord(q.value(12).toString());
        runs.push_back(std::move(r));
    }
    return runs;
}

QString linesToJson(const std::vector<RunLine>& lines) {
    QJsonArray list;
    for (const RunLine& line : lines) {
        list.append(
            QJsonObject{{QStringLiteral("text"), line.text}, {QStringLiteral("ok"), line.ok}});
    }
    return QString::fromUtf8(QJsonDocument(list).toJson(QJsonDocument::Compact));
}

std::vector<RunLine> linesFromJson(const QString& json) {
    std::vector<RunLine> lines;
    for (const QJsonValue& value : QJsonDocument::fromJson(json.toUtf8()).array()) {
        const QJsonObject line = value.toObject();
        lines.push_back({line.value(QStringLiteral("text")).toString(),
                         line.value(QStringLiteral("ok")).toBool()});
    }
    return lines;
}
