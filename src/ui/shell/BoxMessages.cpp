#include "BoxMessages.h"

#include "common/DateTime.h"
#include "common/Error.h"

#include <QMessageBox>

void BoxMessages::show(const QString& text) {
    const bool impossible = text == QLatin1String("Impossible!");
    if (impossible && m_impossibleOpen) {
        return;
    }
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Vestrel"), text, QMessageBox::Ok);
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
