#include "Application.h"
#include "CommandLine.h"
#include "CommandRuns.h"
#include "RequestChannel.h"
#include "RestoreCommand.h"
#include "SingleCopyLock.h"
#include "SocketCleanup.h"
#include "common/UserFolders.h"
#include "ui/shell/AppIcon.h"

#include <QApplication>
#include <QSystemTrayIcon>
#include <cstdio>

namespace {

// The drawn icon as a PNG file, for the desktop launcher; needs no display.
int writeIcon(int argc, char* argv[], const std::string& file, int size) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (!drawAppIcon(size).save(QString::fromStdString(file), "PNG")) {
        std::fprintf(stderr, "vestrel: cannot write the icon to %s\n", file.c_str());
        return 1;
    }
    return 0;
}

// Runs in a copy that cannot take the lock: hands the window over to the copy that holds it.
// Returns the exit code, or -1 when that copy ended meanwhile and this one should start.
int forwardWindow(WindowKind window) {
    switch (RequestChannel::forward(window)) {
    case RequestChannel::Outcome::Delivered:
        return 0;
    case RequestChannel::Outcome::BecameProgram:
        return -1;
    case RequestChannel::Outcome::NoDisplay:
        std::fprintf(stderr, "vestrel: the running copy has no display to show windows on\n");
        return 1;
    case RequestChannel::Outcome::Failed:
        break;
    }
    std::fprintf(stderr, "vestrel: a copy is running for %s but does not answer\n",
                 UserFolders::dataFolder().c_str());
    return 1;
}

// --run TITLE: in the running copy when there is one, else here. Returns the exit code.
int runSession(int argc, char* argv[], const std::string& title, bool lockHeld) {
    if (!lockHeld) {
        std::string reply;
        switch (RequestChannel::forwardRun(title, reply)) {
        case RequestChannel::Outcome::Delivered:
            if (reply == RequestChannel::UnknownTitle) {
                std::fprintf(stderr, "vestrel: no session is named \"%s\"\n", title.c_str());
                return CommandRuns::UnknownTitle;
            }
            return CommandRuns::exitCode(QString::fromStdString(reply));
        case RequestChannel::Outcome::BecameProgram:
            break;
        case RequestChannel::Outcome::NoDisplay:
        case RequestChannel::Outcome::Failed:
            std::fprintf(stderr, "vestrel: a copy is running for %s but did not run \"%s\"\n",
                         UserFolders::dataFolder().c_str(), title.c_str());
            return 1;
        }
    }
    QCoreApplication app(argc, argv);
    return CommandRuns::runHere(QString::fromStdString(SingleCopyLock::programFolder()),
                                QString::fromStdString(title));
}

} // namespace

int main(int argc, char* argv[]) {
    const CommandLine command = CommandLine::parse(argc, argv);
    if (!command.error.empty()) {
        std::fprintf(stderr, "vestrel: %s\n%s", command.error.c_str(), CommandLine::usage());
        return 2;
    }
    if (command.help) {
        std::fputs(CommandLine::usage(), stdout);
        return 0;
    }
    if (command.version) {
        std::puts("vestrel " VESTREL_VERSION);
        return 0;
    }
    if (!command.iconFile.empty()) {
        return writeIcon(argc, argv, command.iconFile, command.iconSize);
    }

    if (command.history) {
        QCoreApplication app(argc, argv);
        return CommandRuns::printHistory(command.json);
    }
    if (command.restore) {
        // A restore runs beside the copy in the tray: of what that copy uses it only adds a
        // history row, which the database's own locking keeps apart.
        QCoreApplication app(argc, argv);
        return restoreFromCommandLine(*command.restore);
    }

    if (const std::string problem = UserFolders::makeDataFolder(); !problem.empty()) {
        std::fprintf(stderr, "vestrel: %s\n", problem.c_str());
        return 1;
    }
    const std::string lock = UserFolders::lockPath();
    switch (SingleCopyLock::acquire(lock)) {
    case SingleCopyLock::Result::Acquired:
        if (command.runTitle) {
            return runSession(argc, argv, *command.runTitle, true);
        }
        break;
    case SingleCopyLock::Result::HeldByAnotherCopy:
        if (command.runTitle) {
            return runSession(argc, argv, *command.runTitle, false);
        }
        if (!command.window) {
            return 0; // another copy runs: end silently
        }
        if (const int code = forwardWindow(*command.window); code >= 0) {
            return code;
        }
        break;
    case SingleCopyLock::Result::Failed:
        // Two copies running the same backups would be worse than none starting.
        std::fprintf(stderr, "vestrel: cannot create the lock file %s\n", lock.c_str());
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

    Application vestrel(QString::fromStdString(SingleCopyLock::programFolder()), headless);
    const int early = vestrel.start();
    if (early >= 0) {
        return early;
    }
    if (!headless && !QSystemTrayIcon::isSystemTrayAvailable()) {
        // The icon docks by itself once a tray starts; until then the user needs another way in.
        std::fputs("vestrel: no system tray is running; the icon appears when one starts. Until "
                   "then, open the windows with vestrel --open, --options or --explorer.\n",
                   stderr);
    }
    if (command.window && !vestrel.showWindow(*command.window)) {
        std::fputs("vestrel: no display to show the window on; the schedule runs without it\n",
                   stderr);
    }
    const int code = QApplication::exec();
    SocketCleanup::run();
    return code;
}
