#include "SqlError.h"

#include "common/Error.h"

void raiseSqlError(const QSqlError& error, const QString& source) {
    throw VError(UnspecifiedErrorNumber, source, error.text());
}
