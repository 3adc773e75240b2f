#pragma once

#include "RunObserver.h"

class RunHistory;

// Keeps a run in the history: a row when it starts, its lines and outcome when it ends. The
// history's own errors go to standard error; they never stop a run.
class HistoryWriter : public RunObserver {
public:
    explicit HistoryWriter(RunHistory& history);

    void runStarted(const RunRecord& run) override;
    void appendLine(const QString& text, int icon) override;
    void clear() override;
    void runEnded(const RunRecord& run) override;

private:
    RunHistory& m_history;
    qint64 m_id = 0;
    std::vector<RunLine> m_lines;
};
