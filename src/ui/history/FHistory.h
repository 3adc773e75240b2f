#pragma once

#include "store/RunRecord.h"
#include "ui/events/ListViewLog.h"

#include <QWidget>
#include <vector>

class QTreeWidget;
class QPushButton;
class RunHistory;

// The runs the history keeps, newest first: time, session, outcome with its icon, archive,
// size, destination. The lines of the selected run show below. Resizable; keyboard: the arrow
// keys move through the runs, Tab to the lines, Esc closes. "Restore…" asks for the restore
// window on the selected run's archive.
class FHistory : public QWidget {
    Q_OBJECT

public:
    explicit FHistory(RunHistory& history, QWidget* parent = nullptr);

    // Reads the history again, keeping the selected run selected.
    void reload();

signals:
    void restoreRequested(int sessionId, const QString& archive);

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void showLines();
    const RunRecord* selectedRun() const;

    RunHistory& m_history;
    std::vector<RunRecord> m_runs;
    QTreeWidget* m_lvRuns;
    QTreeWidget* m_lvLines;
    QPushButton* m_cmdRestore;
    QPushButton* m_cmdClose;
    ListViewLog m_lines;
};
