// Packs the given files and folders into one archive the way a session run does.
//   vestrel_pack_bench ARCHIVE PATH...
#include "backup/PackFiles.h"
#include "common/Error.h"

#include <cstdio>

int main(int argc, char* argv[]) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s ARCHIVE PATH...\n", argv[0]);
        return 2;
    }
    FileSlots fileSlots;
    for (int i = 2; i < argc; ++i) {
        fileSlots.set(i - 1, QString::fromLocal8Bit(argv[i]));
    }
    try {
        PackOptions options;
        options.skipped = [](const QString& line) {
            std::fprintf(stderr, "%s\n", qPrintable(line));
        };
        // For the cost of encryption; never a password that matters.
        options.password = QString::fromLocal8Bit(qgetenv("VESTREL_BENCH_PASSWORD"));
        PackFiles(argc - 2, QString::fromLocal8Bit(argv[1]), fileSlots, {}, std::move(options));
    } catch (const VError& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
    return 0;
}
