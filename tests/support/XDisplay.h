#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

// A private X server (Xvfb, on a display number it picks itself) for tests that run the built
// program as a user would, optionally with a tray host (trayer) docking tray icons. Programs are
// watched and driven from outside with the X tools (xdotool, xwininfo, import).
class XDisplay {
public:
    XDisplay() = default;
    ~XDisplay();
    XDisplay(const XDisplay&) = delete;
    XDisplay& operator=(const XDisplay&) = delete;

    bool start();
    bool startTray();
    void stopTray();
    QString errorString() const { return m_error; }
    QString name() const { return m_name; }

    // Runs an X tool on this display; its standard output, trimmed ("" on failure).
    QString tool(const QString& program, const QStringList& arguments) const;
    // Ids of the tray icons of programs whose window class is windowClass, docked in the tray.
    QStringList trayIcons(const QString& windowClass) const;
    // Ids of the visible top-level windows of process pid with exactly this title (tray icons
    // left out).
    QStringList windows(qint64 pid, const QString& title) const;
    // A picture of the whole screen.
    bool screenshot(const QString& file) const;

private:
    QProcess m_xvfb;
    QProcess m_tray;
    QString m_name;
    QString m_error;
};
