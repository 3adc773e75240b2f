#pragma once

#include "EventLog.h"

#include <QDateTime>
#include <QString>
#include <memory>
#include <optional>
#include <vector>

// An archive that runs have written: where it is kept, locally, on the server, or both.
struct KnownArchive {
    QString name;
    QDateTime written;
    qint64 size = -1;
    QString localPath;  // empty when the store no longer holds it
    QString remotePath; // empty when it was not uploaded
};

// What the program knows of the archives its runs wrote, and where a restore's log lines are
// kept. The restore window and the command line ask it; with nothing behind it, they restore
// only archive files the user names.
class ArchiveCatalog {
public:
    virtual ~ArchiveCatalog() = default;
    // Sessions that wrote archives: id and title.
    virtual std::vector<std::pair<int, QString>> sessions() const { return {}; }
    // A session's archives, newest first.
    virtual std::vector<KnownArchive> archives(int /*sessionId*/) const { return {}; }
    // The archive of that name, as the command line names it.
    virtual std::optional<KnownArchive> find(const QString& /*name*/) const { return {}; }
    // Where one restore's lines go as well as to its window or standard error; none when null.
    virtual std::unique_ptr<EventLog> restoreLog(const QString& /*archive*/) { return {}; }
};

// Restores only what the user names.
class NoArchiveCatalog : public ArchiveCatalog {};

// Sends each line to both logs.
class TeeLog : public EventLog {
public:
    TeeLog(EventLog& first, EventLog* second)
        : m_first(first)
        , m_second(second) {}
    void appendLine(const QString& text, int icon) override {
        m_first.appendLine(text, icon);
        if (m_second)
            m_second->appendLine(text, icon);
    }
    void clear() override { m_first.clear(); }

private:
    EventLog& m_first;
    EventLog* m_second;
};
