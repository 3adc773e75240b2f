#include "TestDatabase.h"

#include "store/DbConnection.h"

#include <QFile>
#include <QSqlError>
#include <QSqlQuery>
#include <QTest>

void TestDatabase::createFromSchema(const QString& path) {
    QFile schema(QStringLiteral(VESTREL_SCHEMA));
    if (!schema.open(QIODevice::ReadOnly)) {
        qFatal("cannot read schema.sql");
    }
    const QString name = QStringLiteral("schema-") + path;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        if (!db.open()) {
            qFatal("cannot create %s", qPrintable(path));
        }
        // Comments go first: they may hold semicolons.
        QString text;
        for (const QString& line : QString::fromUtf8(schema.readAll()).split(QLatin1Char('\n'))) {
            text += line.section(QStringLiteral("--"), 0, 0) + QLatin1Char('\n');
        }
        for (const QString& sql : text.split(QLatin1Char(';'))) {
            if (!sql.trimmed().isEmpty()) {
                QSqlQuery q(db);
                if (!q.exec(sql)) {
                    qFatal("schema: %s", qPrintable(q.lastError().text()));
                }
            }
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
}

TestDatabase::TestDatabase() {
    if (!m_dir.isValid()) {
        qFatal("no temp dir");
    }
    createFromSchema(path());
    DbConnection::open(path());
}

TestDatabase::~TestDatabase() {
    DbConnection::database().close();
}

QString TestDatabase::path() const {
    return m_dir.filePath(QLatin1String(DbConnection::FileName));
}

QSqlDatabase TestDatabase::db() const {
    return DbConnection::database();
}

int TestDatabase::addSession(const QString& name, const QString& date, const QString& ntime,
                             int freq, std::optional<int> week, std::optional<int> days) {
    QSqlQuery q(db());
    q.prepare(QStringLiteral(
        "insert into Tasks (Name, date, ntime, Freq, Week, Days) values (?, ?, ?, ?, ?, ?)"));
    q.addBindValue(name);
    q.addBindValue(date.isNull() ? QVariant() : QVariant(date));
    q.addBindValue(ntime.isNull() ? QVariant() : QVariant(ntime));
    q.addBindValue(freq);
    q.addBindValue(week ? QVariant(*week) : QVariant());
    q.addBindValue(days ? QVariant(*days) : QVariant());
    if (!q.exec()) {
        qFatal("insert: %s", qPrintable(q.lastError().text()));
    }
    return q.lastInsertId().toInt();
}

void TestDatabase::exec(const QString& sql) const {
    QSqlQuery q(db());
    if (!q.exec(sql)) {
        qFatal("%s: %s", qPrintable(sql), qPrintable(q.lastError().text()));
    }
}

QString TestDatabase::scalar(const QString& sql) const {
    QSqlQuery q(db());
    if (!q.exec(sql) || !q.next()) {
        qFatal("%s: %s", qPrintable(sql), qPrintable(q.lastError().text()));
    }
    return q.value(0).toString();
}
