// The retention step of a run that keeps 30 archives, with 30 of the session's archives on the
// loopback test FTP server: the new archive makes 31, so the run logs on once more and deletes
// the oldest. Its time is from the run's last line before retention to the run's end.
//   vestrel_retention_bench [ROUNDS]   (BENCH_LINES set: each run's lines with their times)
// Prints each round's time, then the median and the slowest next to the target.
#include "FtpServer.h"
#include "TestFiles.h"
#include "backup/SessionRun.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>

namespace {

constexpr int Keep = 30;

// Each line with the moment it came, in milliseconds since the log began.
class TimedLog : public EventLog {
public:
    void appendLine(const QString& text, int icon) override {
        lines.push_back({m_clock.nsecsElapsed() / 1e6, text, icon});
    }
    void clear() override {}
    double now() const { return m_clock.nsecsElapsed() / 1e6; }

    struct Line {
        double ms;
        QString text;
        int icon;
    };
    std::vector<Line> lines;

private:
    QElapsedTimer m_clock = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
};

// One run; the retention step's milliseconds, or a negative number when it did not delete.
double oneRound(const FtpServer& server, const Settings& settings, const QString& file) {
    QDir pub(server.pathOf("pub"));
    for (const QString& name : pub.entryList(QDir::Files))
        pub.remove(name);
    RunSession session;
    session.keep = Keep;
    for (int k = 1; k <= Keep; ++k) {
        const QString name = QStringLiteral("old-%1.zip").arg(k, 2, 10, QLatin1Char('0'));
        writeFile(pub.filePath(name), "an earlier archive");
        RunRecord earlier;
        earlier.id = k;
        earlier.archive = name;
        earlier.destination = server.host() + QStringLiteral(":/pub/") + name;
        session.archives.push_back(earlier);
    }
    const SessionRun run(
        settings, [] { return std::make_unique<cFTP>(); },
        [] { return *DateTime::fromParts(2026, 12, 5, 14, 30, 15); });
    TimedLog log;
    const RunResult result = run.LPack({file}, log, {}, session);
    const double end = log.now();
    if (qEnvironmentVariableIsSet("BENCH_LINES"))
        for (const auto& line : log.lines)
            std::fprintf(stderr, "%8.1f ms %s\n", line.ms, qPrintable(line.text));
    const auto first = std::find_if(log.lines.begin(), log.lines.end(), [](const auto& line) {
        return line.text.startsWith(QStringLiteral("Deleted the old archive"));
    });
    if (result.failed() || first == log.lines.begin() || first == log.lines.end() ||
        pub.entryList(QDir::Files).size() != Keep) {
        for (const auto& line : log.lines)
            std::fprintf(stderr, "%s\n", qPrintable(line.text));
        return -1;
    }
    return end - (first - 1)->ms;
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    FtpServer server;
    if (!server.start()) {
        std::fprintf(stderr, "the test FTP server did not start: %s\n",
                     qPrintable(server.errorString()));
        return 1;
    }
    QTemporaryDir dir;
    Settings settings(dir.filePath(QStringLiteral("Vodidore.ini")));
    switchUploadOn(settings, server);
    settings.WriteOption("Store", dir.filePath(QStringLiteral("store")));
    const QString file = dir.filePath(QStringLiteral("data/notes.txt"));
    QDir().mkpath(dir.filePath(QStringLiteral("store")));
    writeFile(file, "notes");

    std::vector<double> times;
    for (int round = 0; round < rounds; ++round) {
        const double ms = oneRound(server, settings, file);
        if (ms < 0) {
            std::fprintf(stderr, "round %d: the run did not delete exactly the oldest\n", round);
            return 1;
        }
        std::printf("round %d: %.1f ms\n", round, ms);
        times.push_back(ms);
    }
    std::sort(times.begin(), times.end());
    std::printf("retention step, keep %d with %d archives on the server: median %.1f ms, slowest "
                "%.1f ms (target < 1000 ms)\n",
                Keep, Keep, times[times.size() / 2], times.back());
    return 0;
}
