#pragma once

#include <QString>
#include <functional>

class QWidget;

// Asks the user whether to trust a server's host key or certificate; true for Yes. Production
// shows a modal Yes/No box; tests give the answer.
using TrustQuestion = std::function<bool(const QString& question)>;

TrustQuestion messageBoxTrustQuestion(QWidget* parent);
