#include "SchemaUpgrade.h"

#include "SqlError.h"

#include <QSqlQuery>
#include <QSqlRecord>

namespace {

const QString Source = QStringLiteral("upgradeSchema");

// Each step is safe to repeat: a table is made only when missing, a column added only when
// missing.
struct Column {
    const char* table;
    const char* name;
    const char* declaration;
};

// Columns added after the first version, oldest first.
constexpr Column AddedColumns[] = {
    {"Tasks", "Keep", "INTEGER DEFAULT 0"},
    {"Tasks", "Skip", "TEXT"},
    // What became of a run's archive later: '', waiting, sent_later, deleted.
    {"runs", "archive_state", "TEXT DEFAULT ''"},
};

// Tables added after the first version, as CREATE TABLE IF NOT EXISTS statements.
constexpr const char* AddedTables[] = {
    // One row per run, newest kept; lines: a JSON list of {"text", "ok"}.
    "CREATE TABLE IF NOT EXISTS runs (id INTEGER PRIMARY KEY AUTOINCREMENT, session_id INTEGER, "
    "session TEXT, kind TEXT, start TEXT, \"end\" TEXT, outcome TEXT, archive TEXT DEFAULT '', "
    "bytes INTEGER DEFAULT 0, entries INTEGER DEFAULT 0, destination TEXT DEFAULT '', "
    "lines TEXT DEFAULT '[]')",
};

void exec(QSqlQuery& query, const QString& statement) {
    if (!query.exec(statement)) {
        raiseSqlError(query.lastError(), Source);
    }
}

} // namespace

void upgradeSchema(QSqlDatabase db) {
    QSqlQuery query(db);
    exec(query, QStringLiteral("BEGIN IMMEDIATE"));
    try {
        for (const char* table : AddedTables) {
            if (table) {
                exec(query, QLatin1String(table));
            }
        }
        for (const Column& column : AddedColumns) {
            if (column.table &&
                !db.record(QLatin1String(column.table)).contains(QLatin1String(column.name))) {
                exec(query, QStringLiteral("ALTER TABLE %1 ADD COLUMN %2 %3")
                                .arg(QLatin1String(column.table), QLatin1String(column.name),
                                     QLatin1String(column.declaration)));
            }
        }
        exec(query, QStringLiteral("COMMIT"));
    } catch (...) {
        query.exec(QStringLiteral("ROLLBACK"));
        throw;
    }
}
