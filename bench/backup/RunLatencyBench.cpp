// Runs a session over the given folder in the background, the way the program does, while a
// 10 ms timer on the user-interface thread measures how late it is answered.
//   vestrel_run_latency_bench STORE_FOLDER PATH
// Prints: "<worst timer delay ms> <run seconds>".
#include "TestDatabase.h"
#include "backup/BackupRunner.h"
#include "store/SessionStore.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>

namespace {

struct CountingObserver : RunObserver {
    void pathsRead(const QStringList&) override {}
    void appendLine(const QString& text, int icon) override {
        if (icon == IconFailure) {
            std::fprintf(stderr, "%s\n", qPrintable(text));
            failed = true;
        }
    }
    void clear() override {}
    void progress(const RunProgress&) override { ++progressReports; }
    bool failed = false;
    int progressReports = 0;
};

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s STORE_FOLDER PATH\n", argv[0]);
        return 2;
    }
    TestDatabase db;
    const int id = db.addSession("bench", "2026-12-01 10:00:00", "2026-12-07 10:00:00", 1, 0, 127);
    SessionStore store(db.db());
    store.replaceSessionFiles(id, {QString::fromLocal8Bit(argv[2])});
    QTemporaryDir config;
    Settings settings(config.filePath("Vodidore.ini"));
    settings.WriteOption("Store", QString::fromLocal8Bit(argv[1]));
    settings.WriteOption("ArchPat", "x");
    // Like against like: packing alone does not read the archive back (measured on its own).
    settings.WriteOption("Verify", "0");
    const BackupRunner runner(store,
                              SessionRun(
                                  settings, [] { return std::make_unique<cFTP>(); }, localNow));

    qint64 worstMs = 0;
    QElapsedTimer sinceTick;
    QTimer timer;
    timer.setTimerType(Qt::PreciseTimer);
    timer.setInterval(10);
    QObject::connect(&timer, &QTimer::timeout,
                     [&] { worstMs = std::max(worstMs, sinceTick.restart() - 10); });

    auto observer = std::make_shared<CountingObserver>();
    QElapsedTimer run;
    double seconds = 0;
    bool failed = false;
    run.start();
    sinceTick.start();
    timer.start();
    runner.start(*store.session(id), RunKind::Now, observer, [&](const RunRecord& ended) {
        seconds = double(run.elapsed()) / 1000;
        failed = ended.outcome != RunOutcome::Ok;
        app.quit();
    });
    app.exec();
    std::printf("%lld %.2f %d\n", static_cast<long long>(worstMs), seconds,
                observer->progressReports);
    return failed ? 1 : 0;
}
