#include "Autostart.h"

#include "common/Error.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>
#include <QStandardPaths>

namespace {
const QString Source = QStringLiteral("Autostart");
}

QString desktopExecText(const QString& program) {
    static const QRegularExpression plain(QStringLiteral("^[A-Za-z0-9/._+-]+$"));
    if (plain.match(program).hasMatch()) {
        return program;
    }
    // Inside quotes the Exec rules escape " ` $ \ with a backslash; the file's string rules
    // then double every backslash once more, and a field code's "%" is written "%%".
    QString quoted;
    for (const QChar c : program) {
        if (QStringLiteral("\"`$\\").contains(c)) {
            quoted += QStringLiteral("\\\\");
        }
        quoted += c == QLatin1Char('%') ? QStringLiteral("%%") : QString(c);
    }
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

Autostart::Autostart(QString program, QString entryPath)
    : m_program(std::move(program))
    , m_entryPath(std::move(entryPath)) {
}

QString Autostart::defaultEntryPath() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/autostart/vestrel.desktop");
}

bool Autostart::isOn() const {
    return QFileInfo(m_entryPath).isFile();
}

void Autostart::set(bool on) const {
    if (!on) {
        if (QFileInfo::exists(m_entryPath) && !QFile::remove(m_entryPath)) {
            throw VError(UnspecifiedErrorNumber, Source,
                         QStringLiteral("Cannot remove %1").arg(m_entryPath));
        }
        return;
    }
    const QByteArray entry = QStringLiteral("[Desktop Entry]\n"
                                            "Type=Application\n"
                                            "Name=Vestrel\n"
                                            "Comment=Backup scheduler in the tray\n"
                                            "Exec=%1\n"
                                            "Icon=vestrel\n"
                                            "Terminal=false\n"
                                            "X-GNOME-Autostart-enabled=true\n")
                                 .arg(desktopExecText(m_program))
                                 .toUtf8();
    QDir().mkpath(QFileInfo(m_entryPath).absolutePath());
    QSaveFile out(m_entryPath);
    if (!out.open(QIODevice::WriteOnly) || out.write(entry) != entry.size() || !out.commit()) {
        throw VError(UnspecifiedErrorNumber, Source,
                     QStringLiteral("Cannot write %1: %2").arg(m_entryPath, out.errorString()));
    }
}
