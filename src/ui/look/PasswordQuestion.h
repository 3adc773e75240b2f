#pragma once

#include <QString>
#include <functional>
#include <optional>

class QWidget;

// Asked with the prompt; the password typed, or nothing when the user cancelled.
using PasswordQuestion = std::function<std::optional<QString>(const QString& prompt)>;

// A modal box titled "Vestrel" with the prompt and a masked line for the password.
std::optional<QString> askPassword(QWidget* owner, const QString& prompt);
