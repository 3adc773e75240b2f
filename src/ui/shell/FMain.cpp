#include "FMain.h"

#include "AppIcon.h"

#include <QApplication>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QTimer>

FMain::FMain(std::function<void()> tick, bool withTrayIcon, QWidget* parent)
    : QWidget(parent)
    , m_tick(std::move(tick)) {
    setObjectName(QStringLiteral("FMain"));
    setWindowTitle(QStringLiteral("Vestrel"));

    m_pad = new QMenu(QStringLiteral("Main"), this);
    m_pad->setObjectName(QStringLiteral("pad"));
    auto addItem = [this](const char* name, const QString& caption) {
        QAction* action = m_pad->addAction(caption);
        action->setObjectName(QLatin1String(name));
        return action;
    };
    connect(addItem("mnuOpen", QStringLiteral("Open")), &QAction::triggered, this,
            &FMain::openRequested);
    connect(addItem("mnuBrow", QStringLiteral("FTP Browser")), &QAction::triggered, this,
            &FMain::browserRequested);
    connect(addItem("mnuOpt", QStringLiteral("Options")), &QAction::triggered, this,
            &FMain::optionsRequested);
    connect(addItem("mnuHistory", QStringLiteral("History")), &QAction::triggered, this,
            &FMain::historyRequested);
    connect(addItem("mnuRestore", QStringLiteral("Restore")), &QAction::triggered, this,
            &FMain::restoreRequested);
    connect(addItem("mnuExit", QStringLiteral("Exit")), &QAction::triggered, this,
            &FMain::exitProgram);

    // Created even when no tray runs yet (a session just logging in): the icon docks once one
    // appears.
    if (withTrayIcon) {
        m_tray = new QSystemTrayIcon{QApplication::windowIcon(), this};
        m_tray->setToolTip(QStringLiteral("Vestrel"));
        connect(m_tray, &QSystemTrayIcon::activated, this,
                [this](QSystemTrayIcon::ActivationReason reason) {
                    // Left and right button releases open the menu; double clicks open nothing.
                    if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::Context) {
                        m_pad->popup(QCursor::pos());
                        m_pad->activateWindow();
                    }
                });
        m_tray->show();
    }

    m_timer = new QTimer(this);
    m_timer->setObjectName(QStringLiteral("Timer1"));
    m_timer->setInterval(300);
    connect(m_timer, &QTimer::timeout, this, [this] {
        if (m_tick) {
            m_tick();
        }
    });
    m_timer->start();
}

FMain::~FMain() {
    removeTrayIcon();
}

void FMain::removeTrayIcon() {
    if (m_tray) {
        m_tray->hide();
    }
}

void FMain::setStatus(const QString& toolTip, bool failureMark) {
    if (!m_tray) {
        return;
    }
    if (m_tray->toolTip() != toolTip) {
        m_tray->setToolTip(toolTip);
    }
    if (failureMark != m_failureMark) {
        m_failureMark = failureMark;
        m_tray->setIcon(appIcon(failureMark));
    }
}

bool FMain::notify(const QString& text) {
    if (!m_tray || !m_tray->isSystemTrayAvailable()) {
        return false;
    }
    m_tray->showMessage(QStringLiteral("Vestrel"), text, QSystemTrayIcon::Information);
    return true;
}

void FMain::setExitHandler(std::function<void()> exitProcess) {
    m_exitProcess = std::move(exitProcess);
}

void FMain::exitProgram() {
    m_timer->stop();
    removeTrayIcon();
    if (m_exitProcess) {
        m_exitProcess();
    } else {
        QApplication::exit(0);
    }
}
