#include "DbConnection.h"

#include "SchemaUpgrade.h"
#include "SqlError.h"
#include "common/Error.h"

#include <QFileInfo>
#include <QSqlQuery>

namespace {
const QString ConnectionName = QStringLiteral("DbConnection");
}

void DbConnection::open(const QString& path) {
    const QString source = QStringLiteral("DbConnection::Open");
    const QFileInfo info(path);
    // SQLite would quietly create a missing file; the session database must already exist.
    if (!info.exists() || !info.isFile()) {
        throw VError(UnspecifiedErrorNumber, source,
                     QStringLiteral("Could not find file '%1'.").arg(path));
    }
    if (!info.isReadable()) {
        throw VError(UnspecifiedErrorNumber, source,
                     QStringLiteral("Cannot read file '%1'.").arg(path));
    }
    if (QSqlDatabase::contains(ConnectionName)) {
        QSqlDatabase::removeDatabase(ConnectionName);
    }
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), ConnectionName);
    db.setDatabaseName(path);
    if (!db.open()) {
        const QSqlError error = db.lastError();
        QSqlDatabase::removeDatabase(ConnectionName);
        throw VError(UnspecifiedErrorNumber, source,
                     QStringLiteral("Cannot open '%1': %2").arg(path, error.text()));
    }
    QSqlQuery check(db);
    if (!check.exec(QStringLiteral("select id from Tasks limit 0")) ||
        !check.exec(QStringLiteral("select id from files limit 0"))) {
        const QSqlError error = check.lastError();
        check = QSqlQuery();
        db.close();
        throw VError(UnspecifiedErrorNumber, source,
                     QStringLiteral("'%1' is not a session database: %2").arg(path, error.text()));
    }
    // A writer elsewhere (the editor while a tick runs) should wait briefly, not fail.
    check.exec(QStringLiteral("PRAGMA busy_timeout = 5000"));
    check = QSqlQuery();
    try {
        upgradeSchema(db);
    } catch (const VError& error) {
        // A full disk must not stop the backups: only what the new tables hold is missing.
        writeToStandardError(QStringLiteral("vestrel: the session database could not gain its "
                                            "new tables, so no run history is kept: ") +
                             error.description());
    }
}

QSqlDatabase DbConnection::database() {
    return QSqlDatabase::database(ConnectionName, false);
}

bool DbConnection::isOpen() {
    return QSqlDatabase::contains(ConnectionName) && database().isOpen();
}
