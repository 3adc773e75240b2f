// Saves a picture of the explorer logged on to a test server and showing its folder pub, for
// looking at:   xvfb-run -a explorer_shot out.png
#include "FtpServer.h"
#include "store/Settings.h"
#include "ui/explorer/FBrowser.h"

#include <QApplication>
#include <QDir>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

namespace {

void write(const QString& path, const QByteArray& content) {
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(content);
}

} // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    FtpServer server;
    QDir().mkpath(server.pathOf("pub/2026"));
    for (const char* name : {"pub/2612051430.zip", "pub/2612061430.zip", "pub/readme.txt"})
        write(server.pathOf(name), "archive");
    if (argc < 2 || !server.start()) {
        qCritical("usage: explorer_shot out.png (%s)", qPrintable(server.errorString()));
        return 2;
    }
    QTemporaryDir dir;
    for (const char* name :
         {"Documents/tax-2026.ods", "Documents/letter.odt", "Documents/photo.jpg"})
        write(dir.filePath(name), "local file");
    QDir::setCurrent(dir.filePath("Documents"));
    Settings settings(dir.filePath("Vodidore.ini"));
    settings.WriteOption("Ftp", server.host());
    settings.WriteOption("Port", server.port());
    settings.WriteOption("User", server.user());
    settings.WriteOption("Passw", server.password());

    FBrowser window(settings, [] { return std::make_unique<cFTP>(); });
    window.show();
    window.activateWindow();
    if (!QTest::qWaitForWindowActive(&window))
        return 1;
    auto* lftp = window.findChild<QListWidget*>("LFTP");
    if (!QTest::qWaitFor([lftp] { return lftp->count() > 0; }))
        return 1;
    const QRect pub = lftp->visualItemRect(lftp->findItems("pub", Qt::MatchExactly).value(0));
    QTest::mouseClick(lftp->viewport(), Qt::LeftButton, {}, pub.center());
    QTest::mouseDClick(lftp->viewport(), Qt::LeftButton, {}, pub.center());
    auto* file1 = window.findChild<QListWidget*>("File1");
    file1->item(0)->setSelected(true);
    window.findChild<QPushButton*>("cmd2FTP")->click();
    lftp->item(2)->setSelected(true);
    QTest::qWait(300);

    return window.grab().save(QString::fromLocal8Bit(argv[1])) ? 0 : 1;
}
