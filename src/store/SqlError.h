#pragma once

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QString>
#include <QVariantList>

[[noreturn]] void raiseSqlError(const QSqlError& error, const QString& source);

// Prepares `text`, binds `values` in order and runs it, forward only; raises VError naming
// `source` when the statement cannot be prepared or run.
QSqlQuery runQuery(const QSqlDatabase& db, const QString& text, const QVariantList& values,
                   const QString& source);
