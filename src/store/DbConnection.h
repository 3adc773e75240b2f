#pragma once

#include <QSqlDatabase>
#include <QString>

// The program-wide connection to the session database. The program only opens an existing
// file; it never creates one.
class DbConnection {
public:
    static constexpr const char* FileName = "vestrel.mdb";

    // Opens the database at `path`; raises VError when the file is missing, is not a session
    // database, or cannot be read.
    static void open(const QString& path);
    static QSqlDatabase database();
    static bool isOpen();
};
