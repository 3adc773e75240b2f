#include "BoxMessages.h"

#include "common/DateTime.h"
#include "common/Error.h"

#include <QMessageBox>

void BoxMessages::show(const QString& text) {
    open(text, false);
}

void BoxMessages::warn(const QString& text) {
    open(text, true);
}

void BoxMessages::notify(const QString& text) {
    if (!m_notifier || !m_notifier(text)) {
        open(text, false);
    }
}

void BoxMessages::setNotifier(Notifier notifier) {
    m_notifier = std::move(notifier);
}

void BoxMessages::open(const QString& text, bool warning) {
    const bool impossible = text == QLatin1String("Impossible!");
    if (impossible && m_impossibleOpen) {
        return;
    }
    QMessageBox box(warning ? QMessageBox::Warning : QMessageBox::NoIcon, QStringLiteral("Vestrel"),
                    text, QMessageBox::Ok);
    box.setObjectName(QStringLiteral("VestrelMessage"));
    m_impossibleOpen = m_impossibleOpen || impossible;
    box.exec();
    if (impossible) {
        m_impossibleOpen = false;
    }
}

void StderrMessages::show(const QString& text) {
    writeToStandardError(localNow().toStoredText() + QLatin1Char(' ') + text);
}
