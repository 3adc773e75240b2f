#include "XDisplay.h"

#include <QDeadlineTimer>
#include <QProcessEnvironment>
#include <QRegularExpression>

namespace {
constexpr int StartWaitMs = 15000;

QStringList words(const QString& line) {
    return line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

void end(QProcess& process) {
    if (process.state() != QProcess::NotRunning) {
        process.terminate();
        if (!process.waitForFinished(5000)) {
            process.kill();
            process.waitForFinished();
        }
    }
}
} // namespace

XDisplay::~XDisplay() {
    end(m_tray);
    end(m_xvfb);
}

bool XDisplay::start() {
    // -displayfd: the server takes a free number itself and prints it once it listens.
    m_xvfb.start(QStringLiteral("Xvfb"),
                 words(QStringLiteral("-displayfd 1 -screen 0 1280x1024x24 -nolisten tcp")));
    QDeadlineTimer deadline(StartWaitMs);
    while (!m_xvfb.canReadLine() && !deadline.hasExpired()) {
        m_xvfb.waitForReadyRead(100);
    }
    m_name = QLatin1Char(':') + QString::fromLatin1(m_xvfb.readLine()).trimmed();
    // Clients get in a little after the number comes.
    while (tool(QStringLiteral("xdotool"), QStringLiteral("getdisplaygeometry")).isEmpty()) {
        if (deadline.hasExpired()) {
            m_error = QStringLiteral("Xvfb takes no clients: ") +
                      QString::fromLocal8Bit(m_xvfb.readAllStandardError());
            return false;
        }
        m_xvfb.waitForFinished(20);
    }
    return true;
}

bool XDisplay::startTray() {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), m_name);
    m_tray.setProcessEnvironment(env);
    QDeadlineTimer deadline(StartWaitMs);
    while (!deadline.hasExpired()) {
        // trayer now and then cannot open a display that was just started: start it again.
        if (m_tray.state() == QProcess::NotRunning) {
            m_tray.start(QStringLiteral("trayer"),
                         words(QStringLiteral(
                             "--SetDockType true --expand true --align right --height 24")));
            m_tray.waitForStarted();
        }
        if (!tool(QStringLiteral("xdotool"),
                  QStringLiteral("search --onlyvisible --classname ^panel$"))
                 .isEmpty()) {
            return true;
        }
        m_tray.waitForFinished(50);
    }
    m_error = QStringLiteral("trayer did not start: ") +
              QString::fromLocal8Bit(m_tray.readAllStandardError());
    return false;
}

QString XDisplay::tool(const QString& program, const QString& arguments) const {
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), m_name);
    process.setProcessEnvironment(env);
    process.start(program, words(arguments));
    if (!process.waitForFinished(20000)) {
        process.kill();
        process.waitForFinished();
        return {};
    }
    return QString::fromLocal8Bit(process.readAllStandardOutput()).trimmed();
}

QStringList XDisplay::trayIcons(const QString& windowClass) const {
    const QString panel =
        tool(QStringLiteral("xdotool"), QStringLiteral("search --classname ^panel$"))
            .section(QLatin1Char('\n'), 0, 0);
    if (panel.isEmpty()) {
        return {};
    }
    // Lines of the tree look like: 0x400006 "Vestrel": ("vestrel" "Vestrel")  22x24+0+0 ...
    const QRegularExpression docked(QStringLiteral("^\\s*(0x[0-9a-f]+) .*\\(\"") +
                                    QRegularExpression::escape(windowClass) +
                                    QStringLiteral("\" \""));
    QStringList ids;
    const QString tree = tool(QStringLiteral("xwininfo"), QStringLiteral("-tree -id ") + panel);
    for (const QString& line : tree.split(QLatin1Char('\n'))) {
        const QRegularExpressionMatch match = docked.match(line);
        if (match.hasMatch()) {
            ids << match.captured(1);
        }
    }
    return ids;
}

QStringList XDisplay::windows(qint64 pid, const QString& title) const {
    // xdotool matches names case-blind as patterns: compare each hit's title exactly.
    const QStringList hits =
        tool(QStringLiteral("xdotool"),
             QStringLiteral("search --all --onlyvisible --pid %1 --name .").arg(pid))
            .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QStringList docked;
    for (const QString& id : trayIcons(QStringLiteral("vestrel"))) {
        docked << QString::number(id.toULongLong(nullptr, 16));
    }
    QStringList ids;
    for (const QString& id : hits) {
        if (!docked.contains(id) &&
            tool(QStringLiteral("xdotool"), QStringLiteral("getwindowname ") + id) == title) {
            ids << id;
        }
    }
    return ids;
}
