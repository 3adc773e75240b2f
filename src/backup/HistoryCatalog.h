#pragma once

#include "ArchiveCatalog.h"
#include "common/DateTime.h"
#include "store/RunRecord.h"

class RunHistory;
class Settings;

// The archives the run history knows, and restores kept in it as runs of kind "restore".
// An archive counts as in the store while its file is there, and as on the server when its run
// sent it to the server the settings name now: that is the only server a download can reach.
class HistoryCatalog : public ArchiveCatalog {
public:
    HistoryCatalog(RunHistory& history, const Settings& settings, Clock clock);

    std::vector<std::pair<int, QString>> sessions() const override;
    std::vector<KnownArchive> archives(int sessionId) const override;
    std::optional<KnownArchive> find(const QString& name) const override;
    std::unique_ptr<EventLog> restoreLog(const QString& archive) override;

private:
    // Every reachable archive with the session that wrote it, newest first.
    std::vector<std::pair<RunRecord, KnownArchive>> known() const;

    RunHistory& m_history;
    const Settings& m_settings;
    Clock m_clock;
};
