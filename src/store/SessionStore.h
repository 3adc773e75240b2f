#pragma once

#include "BackupSession.h"

#include <QSqlDatabase>
#include <QStringList>
#include <functional>
#include <optional>
#include <vector>

// Every statement the program issues against Tasks and files. Rows are read whole and written
// back by id. Errors raise VError.
class SessionStore {
public:
    explicit SessionStore(QSqlDatabase db);

    // All sessions by next run time, then name: sessions never saved (no next run time) first,
    // names without regard to case.
    std::vector<BackupSession> allSessions() const;
    // The same order, read one row at a time until `wanted` returns false; the rows behind it
    // are never converted. Nothing may show a message from inside `wanted`: the read is open.
    void readSessionsWhile(const std::function<bool(const BackupSession&)>& wanted) const;
    std::optional<BackupSession> session(int id) const;

    // The first session, in the order above, whose name is the empty text: an Add that was
    // never saved, to be reused by the next Add.
    std::optional<int> firstUnnamedSession() const;
    // A new one-time session starting at `date`, with the columns' defaults otherwise.
    int insertSession(const DateTime& date);

    // Writes every column but id.
    void updateSession(const BackupSession& session);
    // Writes every column but id and replaces the session's paths, in one transaction: a
    // session is never left with its new schedule and its old paths.
    void saveSession(const BackupSession& session, const QStringList& paths);
    // Writes what the scheduler changes, the next run time and the week that NextRun may lower,
    // only while the row still holds the schedule `read` had: a Save made meanwhile wins.
    // Returns whether the row was written.
    bool updateSchedule(const BackupSession& read, const BackupSession& changed);

    // The session's paths in the order the database returns them.
    QStringList sessionFiles(int id) const;
    // Replaces the session's paths as a whole, in one transaction.
    void replaceSessionFiles(int id, const QStringList& paths);
    // Removes the session and its paths, in one transaction.
    void deleteSession(int id);

    QSqlDatabase database() const { return m_db; }

private:
    QSqlDatabase m_db;
};

// A transaction that rolls back unless committed; writes of one operation go to disk together.
class Transaction {
public:
    explicit Transaction(QSqlDatabase db);
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;

    void commit();

private:
    QSqlDatabase m_db;
    bool m_done = false;
};
