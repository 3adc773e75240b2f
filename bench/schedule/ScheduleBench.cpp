// Scheduler tick cost over a realistic session table.
//   schedule_bench tick            median time of one tick and bytes written while nothing is due
//   schedule_bench make-db FILE    a session database for the idle program run (now = wall clock)
//   schedule_bench loop SECONDS    the tick on a 300 ms timer over such a database, as the program
//                                  runs it; CPU time of this process
#include "TestDatabase.h"
#include "common/DateTime.h"
#include "common/Messages.h"
#include "schedule/NextRun.h"
#include "schedule/SchedulerTick.h"
#include "store/DbConnection.h"
#include "store/SessionStore.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QFile>
#include <QRandomGenerator>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <sys/resource.h>
#include <vector>

namespace {

struct CountingMessages : Messages {
    void show(const QString&) override { ++shown; }
    int shown = 0;
};

struct CountingRunner : SessionRunner {
    void runSession(const BackupSession&, RunKind, Finished finished) override {
        ++runs;
        finished(RunOutcome::Ok);
    }
    int runs = 0;
};

long long processBytesWritten() {
    std::ifstream io("/proc/self/io");
    std::string key;
    long long value = 0;
    while (io >> key >> value) {
        if (key == "wchar:") {
            return value;
        }
    }
    return -1;
}

QByteArray fileDigest(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        return {};
    }
    return QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256);
}

// A start date in the last 30 years (or up to a year ahead) at a time of day at least ten
// minutes away from now's, so that nothing falls due while the benchmark measures.
DateTime randomStart(QRandomGenerator& random, const DateTime& now, bool past) {
    const std::int64_t today = now.dayNumber() * DateTime::SecondsPerDay;
    for (;;) {
        const std::int64_t day = past ? -1 - random.bounded(30 * 365) : random.bounded(365) - 20;
        const std::int64_t second = random.bounded(1440) * 60;
        if (std::llabs(second - now.secondsOfDay()) < 600 ||
            std::llabs(second - now.secondsOfDay()) > 86400 - 600) {
            continue;
        }
        const DateTime start =
            DateTime::fromSeconds(today + day * DateTime::SecondsPerDay + second);
        if (!past || start < now) {
            return start;
        }
    }
}

// 1,000 sessions: 100 past one-time sessions, 50 future ones, and daily, weekly and monthly
// sessions of every kind (some weekdays sets empty, some weeks of the month already past or
// impossible). Saved ones carry the next run time the editor would have stored; a few daily ones
// are left a day late, for the first tick to move on.
void fillSessions(QSqlDatabase db, const DateTime& now) {
    QRandomGenerator random(1000);
    CountingMessages quiet;
    const Clock clock = [now] {
        return now;
    };
    QSqlQuery q(db);
    q.prepare(QStringLiteral("insert into Tasks (Name, date, ntime, Freq, Week, Days) "
                             "values (?, ?, ?, ?, ?, ?)"));
    db.transaction();
    for (int i = 0; i < 1000; ++i) {
        BackupSession s;
        s.name = QStringLiteral("Session %1").arg(i, 4, 10, QLatin1Char('0'));
        s.week = 0;
        s.days = 0;
        if (i < 100) {
            s.freq = 0;
            s.date = randomStart(random, now, true);
        } else if (i < 150) {
            s.freq = 0;
            s.date = randomStart(random, now, false);
        } else if (i < 450) {
            static const int daySets[] = {127, 62, 65, 42, 1, 96, 0};
            s.freq = 1;
            s.days = daySets[random.bounded(7)];
            s.date = randomStart(random, now, true);
        } else if (i < 750) {
            static const int weeks[] = {0, 0, 0, -1, 1, 2, 3, 4, 5, 7};
            s.freq = 2;
            s.week = weeks[random.bounded(10)];
            s.date = randomStart(random, now, true);
        } else {
            s.freq = 3;
            s.date = randomStart(random, now, true);
        }
        s.ntime = NextRun(s, clock, quiet);
        if (i >= 150 && i < 180) {
            s.days = 127;
            s.ntime = NextRun(s, clock, quiet).addDays(-1);
        }
        q.addBindValue(s.name);
        q.addBindValue(s.date->toStoredText());
        q.addBindValue(s.ntime->toStoredText());
        q.addBindValue(*s.freq);
        q.addBindValue(*s.week);
        q.addBindValue(*s.days);
        q.exec();
    }
    db.commit();
}

int benchTick() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("vestrel.mdb"));
    TestDatabase::createFromSchema(path);
    DbConnection::open(path);
    const DateTime now = *DateTime::fromParts(2026, 3, 18, 13, 37, 20);
    fillSessions(DbConnection::database(), now);

    SessionStore store(DbConnection::database());
    CountingMessages messages;
    CountingRunner runner;
    RunQueue queue(
        store, [&now] { return now; }, messages, runner);
    SchedulerTick tick(
        store, [&now] { return now; }, messages, queue);

    using Clock = std::chrono::steady_clock;
    const auto settleStart = Clock::now();
    tick.tick();
    const double settleMs =
        std::chrono::duration<double, std::milli>(Clock::now() - settleStart).count();
    const int messagesWhileSettling = messages.shown;
    tick.tick();

    const QByteArray digestBefore = fileDigest(path);
    const long long writtenBefore = processBytesWritten();
    std::vector<double> times;
    for (int i = 0; i < 300; ++i) {
        const auto t0 = Clock::now();
        tick.tick();
        times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
    }
    const long long written = processBytesWritten() - writtenBefore;
    const bool fileUnchanged = fileDigest(path) == digestBefore;
    std::sort(times.begin(), times.end());

    // The share of a tick that is only the reading of all sessions.
    std::vector<double> reads;
    std::size_t stale = 0;
    for (int i = 0; i < 300; ++i) {
        const auto t0 = Clock::now();
        const auto rows = store.allSessions();
        reads.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
        stale = std::count_if(rows.begin(), rows.end(), [&](const BackupSession& r) {
            return r.ntime && *r.ntime < now.addMinutes(-1);
        });
    }
    std::sort(reads.begin(), reads.end());

    std::printf("sessions: 1000 (100 past one-time)\n");
    std::printf("first tick (moves late sessions on): %.2f ms, %d \"Impossible!\" messages\n",
                settleMs, messagesWhileSettling);
    std::printf("tick median: %.3f ms (p90 %.3f ms, max %.3f ms) over %zu ticks  [target < 5 ms]\n",
                times[times.size() / 2], times[times.size() * 9 / 10], times.back(), times.size());
    std::printf("reading all sessions (the tick reads only as far as it needs): median %.3f ms; "
                "%zu sessions stale on every tick\n",
                reads[reads.size() / 2], stale);
    std::printf("bytes written while nothing is due: %lld (database file %s)  [target 0]\n",
                written, fileUnchanged ? "unchanged" : "CHANGED");
    std::printf("runs started: %d, messages after settling: %d\n", runner.runs,
                messages.shown - messagesWhileSettling);
    QSqlDatabase::database(QStringLiteral("DbConnection"), false).close();
    return runner.runs == 0 && written == 0 && fileUnchanged ? 0 : 1;
}

int makeDatabase(const QString& path) {
    QFile::remove(path);
    TestDatabase::createFromSchema(path);
    {
        QSqlDatabase db =
            QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("fill"));
        db.setDatabaseName(path);
        if (!db.open()) {
            std::fprintf(stderr, "cannot open %s\n", qPrintable(path));
            return 1;
        }
        fillSessions(db, localNow());
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("fill"));
    return 0;
}

double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

int benchLoop(int seconds) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("vestrel.mdb"));
    if (makeDatabase(path) != 0) {
        return 1;
    }
    DbConnection::open(path);
    SessionStore store(DbConnection::database());
    CountingMessages messages;
    CountingRunner runner;
    RunQueue queue(store, localNow, messages, runner);
    SchedulerTick tick(store, localNow, messages, queue);
    tick.setUptimeClock(SchedulerTick::machineUptime);
    QTimer timer;
    timer.setInterval(300);
    QObject::connect(&timer, &QTimer::timeout, [&tick] { tick.tick(); });
    timer.start();
    // The first ticks move the late sessions on; measure from then on.
    QTimer::singleShot(2000, [&] {
        const double cpu0 = cpuSeconds();
        QTimer::singleShot(seconds * 1000, [&, cpu0] {
            const double used = cpuSeconds() - cpu0;
            std::printf("tick loop CPU: %.3f s in %d s = %.2f %% of one core  [target < 1 %%]\n",
                        used, seconds, 100 * used / seconds);
            std::printf("idle cost of the tick: %.2f s CPU per hour of idling  [target < 36 s]\n",
                        3600 * used / seconds);
            QCoreApplication::quit();
        });
    });
    QCoreApplication::exec();
    std::printf("runs started: %d\n", runner.runs);
    return 0;
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    try {
        if (args.size() == 2 && args[1] == QStringLiteral("tick")) {
            return benchTick();
        }
        if (args.size() == 3 && args[1] == QStringLiteral("loop")) {
            return benchLoop(args[2].toInt());
        }
        if (args.size() == 3 && args[1] == QStringLiteral("make-db")) {
            return makeDatabase(args[2]);
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    std::fprintf(stderr, "usage: schedule_bench tick | make-db FILE | loop SECONDS\n");
    return 2;
}
