// Saves a picture of the event window after a successful upload run, for looking at:
//   xvfb-run -a event_window_shot out.png
#include "BackupTestKit.h"
#include "FtpServer.h"
#include "TestDatabase.h"
#include "backup/BackupRunner.h"
#include "store/SessionStore.h"
#include "ui/events/FEvent.h"

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <QTest>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    FtpServer server;
    if (argc < 2 || !server.start()) {
        qCritical("usage: event_window_shot out.png (%s)", qPrintable(server.errorString()));
        return 2;
    }
    TestDatabase db;
    QTemporaryDir dir;
    for (const char* name : {"Documents/2026/tax.txt", "Mail/inbox.mbox", "notes.txt"}) {
        writeFile(dir.filePath(name), "content\n");
    }
    const QString name = QStringLiteral("Documents and mail, daily");
    const int id = addSession(
        db, name,
        {dir.filePath("Documents"), dir.filePath("Mail/inbox.mbox"), dir.filePath("notes.txt")});
    QDir().mkpath(dir.filePath("store"));
    Settings settings(dir.filePath("Vodidore.ini"));
    settings.WriteOption("Store", dir.filePath("store"));
    switchUploadOn(settings, server);

    SessionStore store(db.db());
    FEvent window;
    window.setSessionId(id);
    window.setTxtEvent(name);
    window.show();
    BackupRunner(store, sessionRun(settings, dir.filePath("program")))
        .run(*store.session(id), window);
    if (!QTest::qWaitForWindowExposed(&window)) {
        return 1;
    }
    QTest::qWait(200);
    return window.grab().save(QString::fromLocal8Bit(argv[1])) ? 0 : 1;
}
