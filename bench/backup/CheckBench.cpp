// Reads an archive back the way the check after packing does.
//   vestrel_check_bench ARCHIVE
#include "backup/ArchiveCheck.h"

#include <cstdio>

int main(int argc, char* argv[]) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s ARCHIVE\n", argv[0]);
        return 2;
    }
    const QString problem = checkArchive(QString::fromLocal8Bit(argv[1]));
    if (!problem.isEmpty())
        std::fprintf(stderr, "%s\n", qPrintable(problem));
    return problem.isEmpty() ? 0 : 1;
}
