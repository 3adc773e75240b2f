#pragma once

#include <QObject>

class QWidget;
class QWindow;

// Tells when a window becomes the program's active window: when it is shown, and whenever the
// user comes back to it from another of the program's windows. Coming back from another
// application, or from the window's own dialogs and pop-ups, is not an activation.
class ActivationWatch : public QObject {
    Q_OBJECT

public:
    explicit ActivationWatch(QWidget* window);

signals:
    void activated();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void focusMoved(QWindow* now);
    bool isOwnWindow(const QWindow* window) const;

    QWidget* m_window;
    // True while another window of the program was active since this one was.
    bool m_away = true;
};
