#pragma once

#include "ListViewLog.h"
#include "backup/RunObserver.h"

#include <QWidget>

class QListWidget;
class QListWidgetItem;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QTreeWidget;

// The window that shows one run of a backup session: the session's name (txtEvent), the files
// and folders the run packs (lstFiles), and the run's log as it is written (LV).
class FEvent : public QWidget, public RunObserver {
    Q_OBJECT

public:
    explicit FEvent(QWidget* parent = nullptr);
    ~FEvent() override;

    int SessionId() const { return m_sessionId; }
    void setSessionId(int id);

    QString txtEvent() const;
    void setTxtEvent(const QString& text);

    bool failureLogged() const { return m_failed; }

    void pathsRead(const QStringList& paths) override;
    void appendLine(const QString& text, int icon) override;
    void clear() override;
    void progress(const RunProgress& progress) override;
    // Hides the progress once the run is over.
    void runFinished();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void openEntry(QListWidgetItem* item);

    int m_sessionId = 0;
    bool m_failed = false;
    QPlainTextEdit* m_txtEvent;
    QListWidget* m_lstFiles;
    QTreeWidget* m_lv;
    QPushButton* m_cmdClose;
    QProgressBar* m_progress;
    ListViewLog m_log;
};
