#pragma once

#include <QString>

// The entry in the user's autostart folder that starts the program into the tray at log-in. It
// exists only while the user asks for it; nothing else of the program writes there.
class Autostart {
public:
    // `program` is the executable the entry starts; `entryPath` defaults to
    // $XDG_CONFIG_HOME/autostart/vestrel.desktop (~/.config/autostart/vestrel.desktop).
    explicit Autostart(QString program, QString entryPath = defaultEntryPath());

    static QString defaultEntryPath();

    bool isOn() const;
    // Writes or removes the entry; raises VError when that fails.
    void set(bool on) const;

    const QString& entryPath() const { return m_entryPath; }

private:
    QString m_program;
    QString m_entryPath;
};

// The program path as an Exec= value: quoted with the desktop-entry escapes when it holds
// anything but plain path characters.
QString desktopExecText(const QString& program);
