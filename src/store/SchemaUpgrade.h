#pragma once

#include <QSqlDatabase>

// Adds what later versions keep in the session database (tables, columns) to an older one, in
// one transaction; existing columns never change meaning. Raises VError on failure.
void upgradeSchema(QSqlDatabase db);
