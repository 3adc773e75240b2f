#include "XDisplay.h"

#include <QDeadlineTimer>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QThread>

namespace {
constexpr int StartWaitMs = 15000;
constexpr int ToolWaitMs = 20000;

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
    // -displayfd: the server takes a free number itself and prints it once it accepts clients.
    m_xvfb.start(QStringLiteral("Xvfb"),
                 {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                  QStringLiteral("0"), QStringLiteral("1280x1024x24"), QStringLiteral("-nolisten"),
                  QStringLiteral("tcp")});
    QDeadlineTimer deadline(StartWaitMs);
    while (!m_xvfb.canReadLine() && !deadline.hasExpired()) {
        m_xvfb.waitForReadyRead(100);
    }
    const QString number = QString::fromLatin1(m_xvfb.readLine()).trimmed();
    if (number.isEmpty()) {
        m_error = QStringLiteral("Xvfb did not start: ") +
                  QString::fromLocal8Bit(m_xvfb.readAllStandardError());
        return false;
    }
    m_name = QLatin1Char(':') + number;
    // The number comes as soon as the server listens; clients get in a little later.
    while (tool(QStringLiteral("xdotool"), {QStringLiteral("getdisplaygeometry")}).isEmpty()) {
        if (deadline.hasExpired()) {
            m_error = QStringLiteral("Xvfb does not take clients on ") + m_name;
            return false;
        }
        QThread::msleep(20);
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
                         {QStringLiteral("--SetDockType"), QStringLiteral("true"),
                          QStringLiteral("--expand"), QStringLiteral("true"),
                          QStringLiteral("--align"), QStringLiteral("right"),
                          QStringLiteral("--height"), QStringLiteral("24")});
            m_tray.waitForStarted();
        }
        // The panel shows once trayer has taken the tray over.
        if (!tool(QStringLiteral("xdotool"),
                  {QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                   QStringLiteral("--classname"), QStringLiteral("^panel$")})
                 .isEmpty()) {
            return true;
        }
        m_tray.waitForFinished(50);
    }
    m_error = QStringLiteral("trayer did not start: ") +
              QString::fromLocal8Bit(m_tray.readAllStandardError());
    return false;
}

void XDisplay::stopTray() {
    end(m_tray);
}

QString XDisplay::tool(const QString& program, const QStringList& arguments) const {
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), m_name);
    process.setProcessEnvironment(env);
    process.start(program, arguments);
    if (!process.waitForFinished(ToolWaitMs)) {
        process.kill();
        process.waitForFinished();
        return {};
    }
    return QString::fromLocal8Bit(process.readAllStandardOutput()).trimmed();
}

QStringList XDisplay::trayIcons(const QString& windowClass) const {
    const QString panel =
        tool(QStringLiteral("xdotool"),
             {QStringLiteral("search"), QStringLiteral("--classname"), QStringLiteral("^panel$")})
            .section(QLatin1Char('\n'), 0, 0);
    if (panel.isEmpty()) {
        return {};
    }
    // Lines of the tree look like: 0x400006 "Vestrel": ("vestrel" "Vestrel")  22x24+0+0 ...
    const QRegularExpression docked(QStringLiteral("^\\s*(0x[0-9a-f]+) .*\\(\"") +
                                    QRegularExpression::escape(windowClass) +
                                    QStringLiteral("\" \""));
    QStringList ids;
    const QString tree =
        tool(QStringLiteral("xwininfo"), {QStringLiteral("-tree"), QStringLiteral("-id"), panel});
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
             {QStringLiteral("search"), QStringLiteral("--all"), QStringLiteral("--onlyvisible"),
              QStringLiteral("--pid"), QString::number(pid), QStringLiteral("--name"),
              QLatin1Char('^') + QRegularExpression::escape(title) + QLatin1Char('$')})
            .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QStringList docked;
    for (const QString& id : trayIcons(QStringLiteral("vestrel"))) {
        docked << QString::number(id.toULongLong(nullptr, 16));
    }
    QStringList ids;
    for (const QString& id : hits) {
        if (!docked.contains(id) &&
            tool(QStringLiteral("xdotool"), {QStringLiteral("getwindowname"), id}) == title) {
            ids << id;
        }
    }
    return ids;
}

bool XDisplay::screenshot(const QString& file) const {
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), m_name);
    process.setProcessEnvironment(env);
    process.start(QStringLiteral("import"),
                  {QStringLiteral("-window"), QStringLiteral("root"), file});
    return process.waitForFinished(ToolWaitMs) && process.exitCode() == 0;
}
