#include "TrustQuestion.h"

#include <QMessageBox>
#include <QPointer>

TrustQuestion messageBoxTrustQuestion(QWidget* parent) {
    QPointer<QWidget> owner(parent);
    return [owner](const QString& question) {
        QMessageBox box(QMessageBox::Warning, QStringLiteral("Vestrel"), question,
                        QMessageBox::Yes | QMessageBox::No, owner);
        // Trusting is the answer that needs a decision, not a reflex.
        box.setDefaultButton(QMessageBox::No);
        box.setAccessibleName(QStringLiteral("Trust the server?"));
        return box.exec() == QMessageBox::Yes;
    };
}
