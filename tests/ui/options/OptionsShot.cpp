// Not a test: shows the options dialog with sample settings and saves a picture of it.
// Usage: options_shot OUT.png (run under Xvfb)
#include "store/Settings.h"
#include "ui/options/fOptions.h"

#include <QApplication>
#include <QLineEdit>
#include <QScreen>
#include <QTemporaryDir>
#include <QTimer>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc != 2) {
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    QTemporaryDir dir;
    Settings settings(dir.filePath("Vodidore.ini"));
    settings.WriteOptions({{"Store", "/home/anna/backups"},
                           {"Ftp", "ftp.example.org"},
                           {"User", "anna"},
                           {"Passw", "secret"},
                           {"isFTP", "1"},
                           {"FTPPAth", "/archives/"}});
    fOptions dialog(settings, QCoreApplication::applicationDirPath());
    dialog.show();
    QTimer::singleShot(500, [&] {
        dialog.findChild<QLineEdit*>("txtArchPat")->setFocus();
        QTimer::singleShot(200, [&] { app.exit(dialog.grab().save(out) ? 0 : 1); });
    });
    return app.exec();
}
