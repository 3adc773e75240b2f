// Saves a picture of the event window after a successful upload run, for looking at:
//   xvfb-run -a event_window_shot out.png
// With a second file name, also one in the middle of a large run, while it packs.
#include "BackupTestKit.h"
#include "FtpServer.h"
#include "TestDatabase.h"
#include "backup/BackupRunner.h"
#include "store/SessionStore.h"
#include "ui/events/FEvent.h"

#include <QApplication>
#include <QDir>
#include <QProgressBar>
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
    if (argc > 2) {
        // Text that deflates slowly enough to be caught in the middle.
        QByteArray text;
        for (int i = 0; text.size() < (300 << 20); ++i) {
            text += QByteArray::number(i * 7919) + " line of a large mailbox\n";
        }
        writeFile(dir.filePath("Documents/mail-archive.mbox"), text);
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
    if (!QTest::qWaitForWindowExposed(&window)) {
        return 1;
    }
    bool over = false;
    // The window outlives the run here; the observer must not delete it.
    const std::shared_ptr<RunObserver> view(&window, [](RunObserver*) {});
    BackupRunner(store, sessionRun(settings, dir.filePath("program")))
        .start(*store.session(id), view, [&](bool) {
            window.runFinished();
            over = true;
        });
    if (argc > 2) {
        auto* bar = window.findChild<QProgressBar*>("prgRun");
        if (!QTest::qWaitFor([&] { return bar->isVisible() && bar->value() > 300; }, 60000) ||
            over) {
            return 1;
        }
        window.grab().save(QString::fromLocal8Bit(argv[2]));
    }
    if (!QTest::qWaitFor([&] { return over; }, 120000)) {
        return 1;
    }
    QTest::qWait(200);
    return window.grab().save(QString::fromLocal8Bit(argv[1])) ? 0 : 1;
}
