#include "Windows.h"

#include <QApplication>

namespace {
std::size_t indexOf(WindowKind kind) {
    return static_cast<std::size_t>(kind);
}

// QWidget::isAncestorOf stops at window borders, and a dialog is a window of its own.
bool owns(const QWidget* widget, const QWidget* other) {
    for (; other; other = other->parentWidget()) {
        if (other == widget) {
            return true;
        }
    }
    return false;
}
} // namespace

Windows::~Windows() {
    for (Slot& slot : m_slots) {
        delete slot.widget.data();
    }
}

void Windows::setFactory(WindowKind kind, Factory factory) {
    m_slots[indexOf(kind)].factory = std::move(factory);
}

QWidget* Windows::window(WindowKind kind) const {
    return m_slots[indexOf(kind)].widget.data();
}

bool Windows::show(WindowKind kind) {
    Slot& slot = m_slots[indexOf(kind)];
    if (slot.widget && !slot.widget->isVisible() && !slot.widget->isMinimized()) {
        // Hidden is closed: a dialog's own buttons hide it rather than close it.
        delete slot.widget.data();
    }
    if (slot.widget) {
        bringToFront(slot.widget);
        return true;
    }
    if (!slot.factory) {
        return false;
    }
    slot.widget = slot.factory();
    slot.widget->setAttribute(Qt::WA_DeleteOnClose);
    slot.widget->show();
    slot.widget->raise();
    slot.widget->activateWindow();
    return true;
}

void Windows::bringToFront(QWidget* widget) {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal && modal != widget && owns(widget, modal)) {
        // A file or folder dialog of that window is open: it is what the user was doing.
        widget = modal;
    } else if (widget->isMinimized()) {
        widget->showNormal();
    } else {
        // Mapping it anew puts it on the workspace the user is on, where a plain raise would
        // leave it on the one it was opened on (or pull the user over there).
        widget->hide();
        widget->show();
    }
    widget->raise();
    widget->activateWindow();
}
