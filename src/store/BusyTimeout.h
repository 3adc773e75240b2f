#pragma once

#include <QSqlDatabase>

// How long statements wait for a lock that another program holds, for the life of this object;
// the earlier wait comes back afterwards.
class BusyTimeout {
public:
    BusyTimeout(QSqlDatabase db, int milliseconds);
    ~BusyTimeout();
    BusyTimeout(const BusyTimeout&) = delete;
    BusyTimeout& operator=(const BusyTimeout&) = delete;

private:
    QSqlDatabase m_db;
    int m_previous = -1;
};
