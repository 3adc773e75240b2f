#include "SqlError.h"

#include "common/Error.h"

void raiseSqlError(const QSqlError& error, const QString& source) {
    throw VError(UnspecifiedErrorNumber, source, error.text());
}

QSqlQuery runQuery(const QSqlDatabase& db, const QString& text, const QVariantList& values,
                   const QString& source) {
    QSqlQuery q(db);
    q.setForwardOnly(true);
    if (!q.prepare(text)) {
        raiseSqlError(q.lastError(), source);
    }
    for (const QVariant& v : values) {
        q.addBindValue(v);
    }
    if (!q.exec()) {
        raiseSqlError(q.lastError(), source);
    }
    return q;
}
