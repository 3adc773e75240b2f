#include "TestDatabase.h"

#include <QProcess>
#include <QSqlError>
#include <QSqlQuery>

void TestDatabase::createFromSchema(const QString& path) {
    // As the build makes the program's empty database; sqlite3 tells what went wrong.
    if (QProcess::execute("sqlite3", {"-bail", path, ".read '" VESTREL_SCHEMA "'"}) != 0)
        qFatal("cannot create %s", qPrintable(path));
}

TestDatabase::TestDatabase() {
    createFromSchema(path());
    DbConnection::open(path());
}

TestDatabase::~TestDatabase() {
    DbConnection::database().close();
}

int TestDatabase::addSession(const QString& name, const QString& date, const QString& ntime,
                             int freq, std::optional<int> week, std::optional<int> days) {
    QSqlQuery q(db());
    q.prepare(QStringLiteral(
        "insert into Tasks (Name, date, ntime, Freq, Week, Days) values (?, ?, ?, ?, ?, ?)"));
    for (const QVariant& value :
         {QVariant(name), QVariant(date), QVariant(ntime), QVariant(freq),
          week ? QVariant(*week) : QVariant(), days ? QVariant(*days) : QVariant()})
        q.addBindValue(value);
    if (!q.exec())
        qFatal("insert: %s", qPrintable(q.lastError().text()));
    return q.lastInsertId().toInt();
}

void TestDatabase::exec(const QString& sql) const {
    QSqlQuery q(db());
    if (!q.exec(sql))
        qFatal("%s: %s", qPrintable(sql), qPrintable(q.lastError().text()));
}

QString TestDatabase::scalar(const QString& sql) const {
    QSqlQuery q(db());
    if (!q.exec(sql) || !q.next())
        qFatal("%s: %s", qPrintable(sql), qPrintable(q.lastError().text()));
    return q.value(0).toString();
}
