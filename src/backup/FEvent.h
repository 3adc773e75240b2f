#pragma once

#include "ListViewLog.h"
#include "SessionRun.h"

#include <QWidget>
#include <functional>

class QListWidget;
class QListWidgetItem;
class QPlainTextEdit;
class QPushButton;
class QTreeWidget;

// The window in which one backup session runs: the session's name (txtEvent), its files and
// folders (lstFiles, loaded from the session database), and the log of the run (LV).
class FEvent : public QWidget {
    Q_OBJECT

public:
    explicit FEvent(SessionRun run, QWidget* parent = nullptr);
    ~FEvent() override;

    int SessionId() const { return m_sessionId; }
    // Set before anything loads the window: the files listed are this session's.
    void setSessionId(int id);

    QString txtEvent() const;
    // Loads the window (once) and shows the session's name.
    void setTxtEvent(const QString& text);

    // Runs the session over the paths in lstFiles. Returns true when a failure was logged.
    bool LPack();
    bool failureLogged() const;

    // Every log line is also handed here (the program without a display prints them).
    void setLogEcho(std::function<void(const QString& text, int icon)> echo);

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    class WindowLog;

    void load();
    void openEntry(QListWidgetItem* item);

    SessionRun m_run;
    int m_sessionId = 0;
    bool m_loaded = false;
    QPlainTextEdit* m_txtEvent;
    QListWidget* m_lstFiles;
    QTreeWidget* m_lv;
    QPushButton* m_cmdClose;
    std::unique_ptr<WindowLog> m_log;
};
