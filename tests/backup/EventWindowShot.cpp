// Saves a picture of the event window after a successful upload run, for looking at:
//   xvfb-run -a event_window_shot out.png
#include "FtpServer.h"
#include "TestDatabase.h"
#include "backup/FEvent.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    if (argc < 2) {
        qCritical("usage: event_window_shot out.png");
        return 2;
    }
    FtpServer server;
    if (!server.start()) {
        qCritical("%s", qPrintable(server.errorString()));
        return 1;
    }
    TestDatabase db;
    QTemporaryDir dir;
    const QStringList files{dir.filePath("Documents"), dir.filePath("Mail/inbox.mbox"),
                            dir.filePath("notes.txt")};
    QDir().mkpath(dir.filePath("Documents/2026"));
    QDir().mkpath(dir.filePath("Mail"));
    for (const QString& name : {files[1], files[2], dir.filePath("Documents/2026/tax.txt")}) {
        QFile f(name);
        if (f.open(QIODevice::WriteOnly)) {
            f.write("content\n");
        }
    }
    const int id =
        db.addSession("Documents and mail, daily", "2026-12-01 14:30:00", "2026-12-05 14:30:00", 1);
    for (const QString& file : files) {
        db.exec(QStringLiteral("insert into files (id, Name) values (%1, '%2')").arg(id).arg(file));
    }
    QDir().mkpath(dir.filePath("store"));
    Settings settings(dir.filePath("Vodidore.ini"));
    settings.WriteOption("Store", dir.filePath("store"));
    settings.WriteOption("isFTP", "1");
    settings.WriteOption("Ftp", server.host());
    settings.WriteOption("Port", QString::number(server.port()));
    settings.WriteOption("User", server.user());
    settings.WriteOption("Passw", server.password());
    settings.WriteOption("FTPPAth", "/pub/");

    const DateTime now = *DateTime::fromParts(2026, 12, 5, 14, 30, 15);
    FEvent window(SessionRun(
        settings, [] { return std::make_unique<cFTP>(); }, [now] { return now; },
        dir.filePath("program")));
    window.setSessionId(id);
    window.setTxtEvent("Documents and mail, daily");
    window.show();
    window.LPack();
    if (!QTest::qWaitForWindowExposed(&window)) {
        return 1;
    }
    QTest::qWait(200);
    return window.grab().save(QString::fromLocal8Bit(argv[1])) ? 0 : 1;
}
