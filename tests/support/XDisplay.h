#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

// A private X server (Xvfb) with an optional tray host (trayer), watched with the X tools.
class XDisplay {
public:
    XDisplay() = default;
    ~XDisplay();
    XDisplay(const XDisplay&) = delete;
    XDisplay& operator=(const XDisplay&) = delete;

    bool start();
    bool startTray();
    QString errorString() const { return m_error; }
    QString name() const { return m_name; }

    // Runs an X tool on this display; its standard output, trimmed ("" on failure).
    QString tool(const QString& program, const QString& arguments) const;
    // Ids of the docked tray icons whose window class is windowClass.
    QStringList trayIcons(const QString& windowClass) const;
    // Ids of process pid's visible windows titled exactly title, tray icons left out.
    QStringList windows(qint64 pid, const QString& title) const;

private:
    QProcess m_xvfb;
    QProcess m_tray;
    QString m_name;
    QString m_error;
};
