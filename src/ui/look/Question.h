#pragma once

#include <QMessageBox>

// Asks the user before something that cannot be undone, or before edits would be dropped: a
// modal box titled "Vestrel" with a question mark and the given buttons. Escape and closing the
// box give the cancelling answer (Cancel or No). Tests answer it as they answer any modal dialog.
QMessageBox::StandardButton askQuestion(QWidget* owner, const QString& text,
                                        QMessageBox::StandardButtons buttons,
                                        QMessageBox::StandardButton defaultButton);
