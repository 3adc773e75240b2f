#include "ActivationWatch.h"

#include <QEvent>
#include <QGuiApplication>
#include <QWidget>
#include <QWindow>

ActivationWatch::ActivationWatch(QWidget* window)
    : QObject(window)
    , m_window(window) {
    window->installEventFilter(this);
    connect(qGuiApp, &QGuiApplication::focusWindowChanged, this, &ActivationWatch::focusMoved);
}

bool ActivationWatch::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_window && event->type() == QEvent::Hide)
        m_away = true;
    return QObject::eventFilter(watched, event);
}

void ActivationWatch::focusMoved(QWindow* now) {
    // No window of the program has the focus: the user is in another application.
    if (!now)
        return;
    if (now == m_window->windowHandle()) {
        if (m_away) {
            m_away = false;
            emit activated();
        }
        return;
    }
    if (!isOwnWindow(now))
        m_away = true;
}

bool ActivationWatch::isOwnWindow(const QWindow* window) const {
    for (const QWindow* w = window; w; w = w->transientParent()) {
        if (w == m_window->windowHandle())
            return true;
    }
    return false;
}
