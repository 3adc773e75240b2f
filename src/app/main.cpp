#include "AppIcon.h"
#include "Application.h"

#include <QApplication>

int main(int argc, char* argv[]) {
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

    Application vestrel(QCoreApplication::applicationDirPath(), headless);
    const int early = vestrel.start();
    if (early >= 0) {
        return early;
    }
    return QApplication::exec();
}
