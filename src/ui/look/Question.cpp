#include "Question.h"

QMessageBox::StandardButton askQuestion(QWidget* owner, const QString& text,
                                        QMessageBox::StandardButtons buttons,
                                        QMessageBox::StandardButton defaultButton) {
    QMessageBox box(QMessageBox::Question, QStringLiteral("Vestrel"), text, buttons, owner);
    box.setObjectName(QStringLiteral("VestrelQuestion"));
    box.setDefaultButton(defaultButton);
    return static_cast<QMessageBox::StandardButton>(box.exec());
}
