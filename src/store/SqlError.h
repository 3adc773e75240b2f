#pragma once

#include <QSqlError>
#include <QString>

[[noreturn]] void raiseSqlError(const QSqlError& error, const QString& source);
