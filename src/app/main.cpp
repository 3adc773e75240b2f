#include "Application.h"
#include "SingleCopyLock.h"
#include "ui/shell/AppIcon.h"

#include <QApplication>
#include <cstdio>

int main(int argc, char* argv[]) {
    const std::string folder = SingleCopyLock::programFolder();
    switch (SingleCopyLock::acquire(folder)) {
    case SingleCopyLock::Result::Acquired:
        break;
    case SingleCopyLock::Result::HeldByAnotherCopy:
        return 0; // another copy runs: end silently
    case SingleCopyLock::Result::Failed:
        // Two copies running the same backups would be worse than none starting.
        std::fprintf(stderr, "vestrel: cannot create the lock file in %s\n", folder.c_str());
        return 1;
    }

    // Without a display the schedule still runs: no tray icon, messages go to standard error.
    const bool headless =
        qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
    if (headless && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Vestrel"));
    QApplication::setQuitOnLastWindowClosed(false);
    QApplication::setWindowIcon(appIcon());

    Application vestrel(QString::fromStdString(folder), headless);
    const int early = vestrel.start();
    if (early >= 0) {
        return early;
    }
    return QApplication::exec();
}
