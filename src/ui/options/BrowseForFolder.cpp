#include "BrowseForFolder.h"

#include <QFileDialog>

QString BrowseForFolder(QWidget* owner, const QString& title, const QString& startFolder) {
    QFileDialog dialog(owner, title);
    dialog.setObjectName(QStringLiteral("BrowseForFolder"));
    dialog.setFileMode(QFileDialog::Directory);
    // Qt's own dialog looks the same on every desktop, names the chosen folder in its file
    // name box, and can be driven by tests and desktop automation.
    dialog.setOptions(QFileDialog::ShowDirsOnly | QFileDialog::DontUseNativeDialog);
    // Inside the start folder: choosing at once takes that folder.
    dialog.setDirectory(startFolder);
    if (dialog.exec() != QDialog::Accepted) {
        return QString();
    }
    return dialog.selectedFiles().value(0);
}
