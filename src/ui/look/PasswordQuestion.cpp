#include "PasswordQuestion.h"

#include <QAbstractButton>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

std::optional<QString> askPassword(QWidget* owner, const QString& prompt) {
    QDialog box(owner);
    box.setObjectName(QStringLiteral("VestrelPassword"));
    box.setWindowTitle(QStringLiteral("Vestrel"));
    auto* label = new QLabel(prompt, &box);
    auto* line = new QLineEdit(&box);
    line->setObjectName(QStringLiteral("txtPassword"));
    line->setAccessibleName(QStringLiteral("Password"));
    line->setEchoMode(QLineEdit::Password);
    label->setBuddy(line);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &box);
    for (QAbstractButton* button : buttons->buttons())
        button->setAccessibleName(button->text().remove(QLatin1Char('&')));
    auto* layout = new QVBoxLayout(&box);
    layout->addWidget(label);
    layout->addWidget(line);
    layout->addWidget(buttons);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &box, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &box, &QDialog::reject);
    line->setFocus();
    if (box.exec() != QDialog::Accepted)
        return std::nullopt;
    return line->text();
}
