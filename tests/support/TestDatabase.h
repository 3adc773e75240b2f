#pragma once

#include "store/DbConnection.h"

#include <QTemporaryDir>
#include <optional>

// A fresh session database from schema.sql in a temp folder, opened as the program's connection.
class TestDatabase {
public:
    TestDatabase();
    ~TestDatabase();

    QString path() const { return m_dir.filePath(QLatin1String(DbConnection::FileName)); }
    QSqlDatabase db() const { return DbConnection::database(); }

    // Inserts a Tasks row; null strings and empty optionals are stored as NULL. Returns its id.
    int addSession(const QString& name, const QString& date, const QString& ntime, int freq,
                   std::optional<int> week = 0, std::optional<int> days = 0);
    void exec(const QString& sql) const;
    QString scalar(const QString& sql) const;

    static void createFromSchema(const QString& path);

private:
    QTemporaryDir m_dir;
};
