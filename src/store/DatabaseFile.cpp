#include "DatabaseFile.h"

#include "DbConnection.h"
#include "SchemaText.h"
#include "common/Error.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <fcntl.h>
#include <unistd.h>

namespace {

const QString Source = QStringLiteral("DatabaseFile");

// A connection of its own for the life of one step, closed and removed afterwards.
class Scratch {
public:
    explicit Scratch(const QString& path)
        : m_name(QStringLiteral("DatabaseFile-") + path) {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_name);
        db.setDatabaseName(path);
        m_open = db.open();
    }
    ~Scratch() {
        {
            QSqlDatabase db = QSqlDatabase::database(m_name, false);
            db.close();
        }
        QSqlDatabase::removeDatabase(m_name);
    }
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;

    QSqlDatabase db() const { return QSqlDatabase::database(m_name, false); }

    // Runs the statements; the error text, empty on success.
    QString run(const QStringList& statements) const {
        if (!m_open) {
            return db().lastError().text();
        }
        QSqlQuery query(db());
        for (const QString& statement : statements) {
            if (!statement.trimmed().isEmpty() && !query.exec(statement)) {
                return query.lastError().text();
            }
        }
        return {};
    }

    qint64 count(const QString& table) const {
        QSqlQuery query(db());
        return query.exec(QStringLiteral("select count(*) from ") + table) && query.next()
                   ? query.value(0).toLongLong()
                   : -1;
    }

private:
    QString m_name;
    bool m_open = false;
};

bool syncFile(const QString& path) {
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    const bool ok = fd >= 0 && ::fsync(fd) == 0;
    if (fd >= 0) {
        ::close(fd);
    }
    return ok;
}

QString quotedSql(const QString& text) {
    QString quoted = text;
    quoted.replace(QLatin1Char('\''), QStringLiteral("''"));
    return QLatin1Char('\'') + quoted + QLatin1Char('\'');
}

QStringList schemaStatements() {
    // Comments run to the line end and may hold ";"; the statements hold no other "--".
    QStringList lines = QString::fromUtf8(SchemaText).split(QLatin1Char('\n'));
    for (QString& line : lines) {
        line = line.section(QStringLiteral("--"), 0, 0);
    }
    return lines.join(QLatin1Char('\n')).split(QLatin1Char(';'));
}

// The copy under its final name only once it is whole and reads back with every row; the error
// text, empty on success.
QString moveDatabase(const QString& from, const QString& to) {
    const QString part = to + QStringLiteral(".part");
    QFile::remove(part);
    QString problem;
    qint64 tasks = -1;
    qint64 files = -1;
    {
        // SQLite's own copy: it plays back a journal that a crash left beside the old file.
        Scratch old(from);
        problem = old.run({QStringLiteral("select id from Tasks limit 0"),
                           QStringLiteral("VACUUM INTO ") + quotedSql(part)});
        tasks = old.count(QStringLiteral("Tasks"));
        files = old.count(QStringLiteral("files"));
    }
    if (problem.isEmpty()) {
        Scratch copy(part);
        problem = copy.run({QStringLiteral("PRAGMA integrity_check")});
        if (problem.isEmpty() && (copy.count(QStringLiteral("Tasks")) != tasks ||
                                  copy.count(QStringLiteral("files")) != files)) {
            problem = QStringLiteral("the copy does not hold every session");
        }
    }
    if (problem.isEmpty() && (!syncFile(part) || !QFile::rename(part, to))) {
        problem = QStringLiteral("the copy could not be put in place");
    }
    if (!problem.isEmpty()) {
        QFile::remove(part);
        return problem;
    }
    syncFile(QFileInfo(to).absolutePath());
    const QString kept = from + QStringLiteral(".moved");
    QFile::remove(kept);
    QFile::rename(from, kept);
    QFile note(from + QStringLiteral(".moved.txt"));
    if (note.open(QIODevice::WriteOnly | QIODevice::Text)) {
        note.write(QStringLiteral("Vestrel moved its session database from here to %1 on %2.\n"
                                  "%3 is the old copy, kept in case; it is no longer used and "
                                  "may be deleted.\n")
                       .arg(to, QDateTime::currentDateTime().toString(Qt::ISODate),
                            QFileInfo(kept).fileName())
                       .toUtf8());
    }
    return {};
}

void createDatabase(const QString& path) {
    const QString part = path + QStringLiteral(".part");
    QFile::remove(part);
    QString problem;
    {
        Scratch fresh(part);
        problem = fresh.run(schemaStatements());
    }
    if (problem.isEmpty() && (!syncFile(part) || !QFile::rename(part, path))) {
        problem = QStringLiteral("it could not be put in place");
    }
    if (!problem.isEmpty()) {
        QFile::remove(part);
        throw VError(
            UnspecifiedErrorNumber, Source,
            QStringLiteral("Cannot create the session database %1: %2").arg(path, problem));
    }
}

} // namespace

DatabaseFile prepareDatabase(const QString& dataFolder, const QString& oldFolder) {
    const QString name = QLatin1String(DbConnection::FileName);
    DatabaseFile file{QDir(dataFolder).filePath(name), {}, {}};
    if (QFileInfo::exists(file.path)) {
        return file;
    }
    const QString old = QDir(oldFolder).filePath(name);
    if (!oldFolder.isEmpty() && QFileInfo(old).isFile()) {
        const QString problem = moveDatabase(old, file.path);
        if (problem.isEmpty()) {
            file.moved =
                QStringLiteral("Your sessions were moved from %1 to %2.").arg(old, file.path);
        } else {
            file.problem = QStringLiteral("Cannot move the session database %1 to %2 (%3); it is "
                                          "used where it is until the move succeeds.")
                               .arg(old, file.path, problem);
            file.path = old;
        }
        return file;
    }
    createDatabase(file.path);
    return file;
}
