#include "Umask.h"

#include <QFile>

unsigned processUmask() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (status.open(QIODevice::ReadOnly)) {
        for (const QByteArray& line : status.readAll().split('\n')) {
            if (line.startsWith("Umask:"))
                return line.mid(6).trimmed().toUInt(nullptr, 8);
        }
    }
    return 022;
}
