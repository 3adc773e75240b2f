#pragma once

#include "WindowKind.h"

#include <optional>
#include <string>
#include <vector>

// --restore ARCHIVE --to FOLDER [PATH...] [--overwrite] [--password-file FILE]: a restore
// without windows. The password comes from a file only: arguments are visible to every user in
// /proc/<pid>/cmdline.
struct RestoreCommand {
    std::string archive;
    std::string target;
    std::vector<std::string> paths;
    bool overwrite = false;
    std::string passwordFile;
};

// What the program was asked to do at start. Read before anything of Qt exists, so a second
// start without arguments still ends at once.
struct CommandLine {
    std::optional<WindowKind> window;    // --open, --options, --explorer, --history-window,
                                         // --restore-window
    std::optional<std::string> runTitle; // --run TITLE
    bool history = false;                // --history
    bool json = false;                   // --json (with --history)
    std::optional<RestoreCommand> restore;
    std::string iconFile; // --write-icon FILE [SIZE] (for the installer and package)
    int iconSize = 64;
    bool help = false;
    bool version = false;
    std::string error; // set when the arguments make no sense

    static CommandLine parse(int argc, char* argv[]);
    static const char* usage();
};
