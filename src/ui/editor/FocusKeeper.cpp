#include "FocusKeeper.h"

#include <QApplication>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QWidget>

FocusKeeper::FocusKeeper(QWidget* window)
    : QObject(window)
    , m_window(window) {
    // Clicks go to the control under the pointer, not to the box: only the application sees
    // every one of them before the control does.
    qApp->installEventFilter(this);
}

void FocusKeeper::guard(QWidget* box, Check check) {
    m_boxes.push_back({box, std::move(check)});
}

const FocusKeeper::Guarded* FocusKeeper::focusedBox() const {
    QWidget* focus = QApplication::focusWidget();
    for (const Guarded& guarded : m_boxes) {
        if (guarded.box && guarded.box == focus) {
            return &guarded;
        }
    }
    return nullptr;
}

// Whether a click on `target` would take the focus away from the guarded box.
bool FocusKeeper::leavesFor(const Guarded& guarded, QObject* target) const {
    auto* widget = qobject_cast<QWidget*>(target);
    if (!widget || widget->window() != m_window || widget == guarded.box ||
        guarded.box->isAncestorOf(widget)) {
        return false;
    }
    // A list's rows are drawn by its viewport, which never takes the focus itself.
    for (QWidget* w = widget; w && w != m_window; w = w->parentWidget()) {
        if (w->isEnabled() && (w->focusPolicy() & Qt::ClickFocus)) {
            return true;
        }
    }
    return false;
}

const FocusKeeper::Guarded* FocusKeeper::focusedBoxLeaving(QObject* box,
                                                           Qt::FocusReason reason) const {
    const bool toControl = reason == Qt::MouseFocusReason || reason == Qt::TabFocusReason ||
                           reason == Qt::BacktabFocusReason;
    QWidget* next = QApplication::focusWidget();
    if (!toControl || !next || next == box || next->window() != m_window) {
        return nullptr;
    }
    for (const Guarded& guarded : m_boxes) {
        if (guarded.box && guarded.box == box) {
            return &guarded;
        }
    }
    return nullptr;
}

bool FocusKeeper::eventFilter(QObject* watched, QEvent* event) {
    const Guarded* guarded = nullptr;
    switch (event->type()) {
    case QEvent::KeyPress: {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Tab || key == Qt::Key_Backtab) {
            guarded = focusedBox();
            if (guarded && watched != guarded->box) {
                guarded = nullptr;
            }
        }
        break;
    }
    case QEvent::FocusOut:
        // A click gives the clicked control the focus before anyone sees the click itself.
        guarded = focusedBoxLeaving(watched, static_cast<QFocusEvent*>(event)->reason());
        if (guarded && !guarded->check()) {
            guarded->box->setFocus(Qt::OtherFocusReason);
        }
        return QObject::eventFilter(watched, event);
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
        guarded = focusedBox();
        if (guarded && !leavesFor(*guarded, watched)) {
            guarded = nullptr;
        }
        break;
    default:
        break;
    }
    if (guarded && !guarded->check()) {
        return true;
    }
    return QObject::eventFilter(watched, event);
}
