#include "BusyTimeout.h"

#include <QSqlQuery>
#include <QVariant>

namespace {

void setTimeout(const QSqlDatabase& db, int milliseconds) {
    QSqlQuery(db).exec(QStringLiteral("PRAGMA busy_timeout = %1").arg(milliseconds));
}

} // namespace

BusyTimeout::BusyTimeout(QSqlDatabase db, int milliseconds)
    : m_db(std::move(db)) {
    QSqlQuery q(m_db);
    if (q.exec(QStringLiteral("PRAGMA busy_timeout")) && q.next()) {
        m_previous = q.value(0).toInt();
    }
    setTimeout(m_db, milliseconds);
}

BusyTimeout::~BusyTimeout() {
    if (m_previous >= 0) {
        setTimeout(m_db, m_previous);
    }
}
