#include "CommandRuns.h"

#include "backup/BackupRunner.h"
#include "backup/HistoryWriter.h"
#include "backup/StderrRunLog.h"
#include "common/Error.h"
#include "common/UserFolders.h"
#include "ftp/cFTP.h"
#include "store/DatabaseFile.h"
#include "store/DbConnection.h"
#include "store/RunHistory.h"
#include "store/SessionStore.h"
#include "store/Settings.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cstdio>

namespace CommandRuns {

int exitCode(RunOutcome outcome) {
    switch (outcome) {
    case RunOutcome::Ok:
        return 0;
    case RunOutcome::Nothing:
        return 3;
    default:
        return 1;
    }
}

int exitCode(const QString& outcomeWord) {
    return exitCode(outcomeFromWord(outcomeWord));
}

std::optional<BackupSession> sessionNamed(const SessionStore& store, const QString& title) {
    const std::vector<BackupSession> all = store.allSessions();
    for (const Qt::CaseSensitivity cs : {Qt::CaseSensitive, Qt::CaseInsensitive}) {
        for (const BackupSession& session : all) {
            if (session.name.compare(title, cs) == 0) {
                return session;
            }
        }
    }
    return std::nullopt;
}

int runHere(const QString& programDir, const QString& title) {
    try {
        const DatabaseFile database =
            prepareDatabase(QString::fromStdString(UserFolders::dataFolder()), programDir);
        DbConnection::open(database.path);
        SessionStore store(DbConnection::database());
        RunHistory history(store.database());
        history.startUp();
        const std::optional<BackupSession> session = sessionNamed(store, title);
        if (!session) {
            std::fprintf(stderr, "vestrel: no session is named \"%s\"\n", qPrintable(title));
            return UnknownTitle;
        }
        const Settings settings;
        BackupRunner runner(store,
                            SessionRun(
                                settings, [] { return std::make_unique<cFTP>(); }, localNow));
        runner.setHistory(&history);
        RunWatchers watchers;
        watchers.add(std::make_shared<StderrRunLog>(session->name, localNow));
        watchers.add(std::make_shared<HistoryWriter>(history));
        return exitCode(runner.run(*session, RunKind::Command, watchers).outcome);
    } catch (const VError& error) {
        std::fprintf(stderr, "vestrel: %s\n", qPrintable(errorLineText(error.record())));
        return 1;
    }
}

int printHistory(bool json) {
    const QString path = QDir(QString::fromStdString(UserFolders::dataFolder()))
                             .filePath(QLatin1String(DbConnection::FileName));
    if (!QFileInfo::exists(path)) {
        return 0; // nothing ever ran here
    }
    try {
        DbConnection::open(path);
        for (const RunRecord& run : RunHistory(DbConnection::database()).newest()) {
            std::fputs(qPrintable((json ? jsonLine(run) : textLine(run)) + QLatin1Char('\n')),
                       stdout);
        }
    } catch (const VError& error) {
        std::fprintf(stderr, "vestrel: %s\n", qPrintable(errorLineText(error.record())));
        return 1;
    }
    return 0;
}

QString jsonLine(const RunRecord& run) {
    QJsonArray lines;
    for (const RunLine& line : run.lines) {
        lines.append(
            QJsonObject{{QStringLiteral("text"), line.text}, {QStringLiteral("ok"), line.ok}});
    }
    const QJsonObject object{
        {QStringLiteral("start"), run.start.toStoredText()},
        {QStringLiteral("end"), run.end ? run.end->toStoredText() : QString()},
        {QStringLiteral("session_id"), run.sessionId},
        {QStringLiteral("session"), run.session},
        {QStringLiteral("kind"), kindWord(run.kind)},
        {QStringLiteral("outcome"), outcomeWord(run.outcome)},
        {QStringLiteral("archive"), run.archive},
        {QStringLiteral("bytes"), run.bytes},
        {QStringLiteral("entries"), run.entries},
        {QStringLiteral("destination"), run.destination},
        {QStringLiteral("lines"), lines},
    };
    return QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact));
}

QString textLine(const RunRecord& run) {
    return QStringLiteral("%1  %2  %3  %4  %5  %6  %7")
        .arg(run.start.toStoredText(), outcomeWord(run.outcome).leftJustified(11),
             kindWord(run.kind).leftJustified(9), run.session, run.archive,
             run.archive.isEmpty() ? QString() : QString::number(run.bytes), run.destination);
}

} // namespace CommandRuns
