#pragma once

#include <QWidget>
#include <functional>

class QMenu;
class QSystemTrayIcon;
class QTimer;

// The hidden main window: it owns the scheduler's timer and the tray icon with its menu.
class FMain : public QWidget {
    Q_OBJECT

public:
    explicit FMain(std::function<void()> tick, bool withTrayIcon, QWidget* parent = nullptr);
    ~FMain() override;

    QTimer* timer() const { return m_timer; }
    QMenu* menu() const { return m_pad; }
    QSystemTrayIcon* trayIcon() const { return m_tray; }
    // What ends the process after Exit; leaving the event loop when none is set.
    void setExitHandler(std::function<void()> exitProcess);
    // The tray's tooltip, and whether its icon carries the failure mark.
    void setStatus(const QString& toolTip, bool failureMark);
    // A balloon from the tray icon; false when there is no tray to show it.
    bool notify(const QString& text);

signals:
    void openRequested();
    void browserRequested();
    void optionsRequested();
    void historyRequested();
    void restoreRequested();

public slots:
    void exitProgram();

private:
    void removeTrayIcon();

    std::function<void()> m_tick;
    std::function<void()> m_exitProcess;
    QTimer* m_timer = nullptr;
    QMenu* m_pad = nullptr;
    QSystemTrayIcon* m_tray = nullptr;
    bool m_failureMark = false;
};
