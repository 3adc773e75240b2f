#include "SessionStore.h"

#include "NullToString.h"
#include "SqlError.h"

#include <QSqlQuery>
#include <QSqlRecord>
#include <QVariant>

namespace {

const QString SelectAll = QStringLiteral("select * from Tasks order by ntime,name");

std::optional<int> intOrEmpty(const QVariant& value) {
    bool ok = false;
    const int n = value.toInt(&ok);
    return value.isNull() || !ok ? std::nullopt : std::optional<int>(n);
}

std::optional<DateTime> dateOrEmpty(const QVariant& value) {
    return value.isNull() ? std::nullopt : DateTime::fromStoredText(value.toString());
}

QVariant toVariant(const std::optional<DateTime>& value) {
    return value ? QVariant(value->toStoredText()) : QVariant();
}

QVariant toVariant(const std::optional<int>& value) {
    return value ? QVariant(*value) : QVariant();
}

struct Columns {
    int id, name, date, ntime, freq, week, days, autopack, keep, skip;

    explicit Columns(const QSqlRecord& r)
        : id(r.indexOf(QStringLiteral("id")))
        , name(r.indexOf(QStringLiteral("Name")))
        , date(r.indexOf(QStringLiteral("date")))
        , ntime(r.indexOf(QStringLiteral("ntime")))
        , freq(r.indexOf(QStringLiteral("Freq")))
        , week(r.indexOf(QStringLiteral("Week")))
        , days(r.indexOf(QStringLiteral("Days")))
        , autopack(r.indexOf(QStringLiteral("autopack")))
        , keep(r.indexOf(QStringLiteral("Keep")))
        , skip(r.indexOf(QStringLiteral("Skip"))) {}

    BackupSession read(const QSqlQuery& q) const {
        BackupSession s;
        s.id = q.value(id).toInt();
        s.name = NullToString(q.value(name));
        s.date = dateOrEmpty(q.value(date));
        s.ntime = dateOrEmpty(q.value(ntime));
        s.freq = intOrEmpty(q.value(freq));
        s.week = intOrEmpty(q.value(week));
        s.days = intOrEmpty(q.value(days));
        s.autopack = q.value(autopack).toInt() != 0;
        s.keep = std::max(0, q.value(keep).toInt());
        s.skip = NullToString(q.value(skip));
        return s;
    }
};

QSqlQuery run(const QSqlDatabase& db, const QString& text, const QVariantList& values,
              const QString& source) {
    return runQuery(db, text, values, source);
}

std::vector<BackupSession> readSessions(QSqlQuery& q) {
    std::vector<BackupSession> rows;
    const Columns columns(q.record());
    while (q.next()) {
        rows.push_back(columns.read(q));
    }
    return rows;
}

void writeSession(const QSqlDatabase& db, const BackupSession& s, const QString& source) {
    run(db,
        QStringLiteral("update Tasks set Name=?, date=?, ntime=?, Freq=?, Week=?, Days=?, "
                       "autopack=?, Keep=?, Skip=? where id=?"),
        {s.name, toVariant(s.date), toVariant(s.ntime), toVariant(s.freq), toVariant(s.week),
         toVariant(s.days), s.autopack ? 1 : 0, s.keep, s.skip, s.id},
        source);
}

void writePaths(const QSqlDatabase& db, int id, const QStringList& paths, const QString& source) {
    run(db, QStringLiteral("delete from files where id=?"), {id}, source);
    for (const QString& path : paths) {
        run(db, QStringLiteral("insert into files (id, Name) values (?, ?)"), {id, path}, source);
    }
}

} // namespace

SessionStore::SessionStore(QSqlDatabase db)
    : m_db(std::move(db)) {
}

std::vector<BackupSession> SessionStore::allSessions() const {
    QSqlQuery q = run(m_db, SelectAll, {}, QStringLiteral("SessionStore::allSessions"));
    return readSessions(q);
}

void SessionStore::readSessionsWhile(
    const std::function<bool(const BackupSession&)>& wanted) const {
    QSqlQuery q = run(m_db, SelectAll, {}, QStringLiteral("SessionStore::readSessionsWhile"));
    const Columns columns(q.record());
    while (q.next() && wanted(columns.read(q))) {
    }
}

std::optional<BackupSession> SessionStore::session(int id) const {
    QSqlQuery q = run(m_db, QStringLiteral("select * from Tasks where id=?"), {id},
                      QStringLiteral("SessionStore::session"));
    auto rows = readSessions(q);
    return rows.empty() ? std::nullopt : std::optional<BackupSession>(rows.front());
}

std::optional<int> SessionStore::firstUnnamedSession() const {
    QSqlQuery q =
        run(m_db, QStringLiteral("select id from Tasks where name='' order by ntime,name limit 1"),
            {}, QStringLiteral("SessionStore::firstUnnamedSession"));
    return q.next() ? std::optional<int>(q.value(0).toInt()) : std::nullopt;
}

int SessionStore::insertSession(const DateTime& date) {
    QSqlQuery q = run(m_db, QStringLiteral("insert into Tasks (date, Freq) values (?, 0)"),
                      {date.toStoredText()}, QStringLiteral("SessionStore::insertSession"));
    return q.lastInsertId().toInt();
}

void SessionStore::updateSession(const BackupSession& s) {
    writeSession(m_db, s, QStringLiteral("SessionStore::updateSession"));
}

void SessionStore::saveSession(const BackupSession& session, const QStringList& paths) {
    const QString source = QStringLiteral("SessionStore::saveSession");
    Transaction transaction(m_db);
    writeSession(m_db, session, source);
    writePaths(m_db, session.id, paths, source);
    transaction.commit();
}

bool SessionStore::updateSchedule(const BackupSession& read, const BackupSession& changed) {
    QSqlQuery q = run(m_db,
                      QStringLiteral("update Tasks set ntime=?, Week=? where id=? and ntime is ? "
                                     "and Week is ? and date is ? and Freq is ? and Days is ?"),
                      {toVariant(changed.ntime), toVariant(changed.week), read.id,
                       toVariant(read.ntime), toVariant(read.week), toVariant(read.date),
                       toVariant(read.freq), toVariant(read.days)},
                      QStringLiteral("SessionStore::updateSchedule"));
    return q.numRowsAffected() > 0;
}

QStringList SessionStore::sessionFiles(int id) const {
    QSqlQuery q = run(m_db, QStringLiteral("select name from files where id=?"), {id},
                      QStringLiteral("SessionStore::sessionFiles"));
    QStringList paths;
    while (q.next()) {
        paths << NullToString(q.value(0));
    }
    return paths;
}

void SessionStore::replaceSessionFiles(int id, const QStringList& paths) {
    const QString source = QStringLiteral("SessionStore::replaceSessionFiles");
    Transaction transaction(m_db);
    writePaths(m_db, id, paths, source);
    transaction.commit();
}

void SessionStore::deleteSession(int id) {
    const QString source = QStringLiteral("SessionStore::deleteSession");
    Transaction transaction(m_db);
    run(m_db, QStringLiteral("delete from tasks where id=?"), {id}, source);
    run(m_db, QStringLiteral("delete from files where id=?"), {id}, source);
    transaction.commit();
}

Transaction::Transaction(QSqlDatabase db)
    : m_db(std::move(db)) {
    if (!m_db.transaction()) {
        raiseSqlError(m_db.lastError(), QStringLiteral("Transaction"));
    }
}

Transaction::~Transaction() {
    if (!m_done) {
        m_db.rollback();
    }
}

void Transaction::commit() {
    if (!m_db.commit()) {
        raiseSqlError(m_db.lastError(), QStringLiteral("Transaction::commit"));
    }
    m_done = true;
}
