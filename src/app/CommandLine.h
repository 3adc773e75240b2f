#pragma once

#include "WindowKind.h"

#include <optional>
#include <string>

// What the program was asked to do at start. Read before anything of Qt exists, so a second
// start without arguments still ends at once.
struct CommandLine {
    std::optional<WindowKind> window;    // --open, --options, --explorer, --history-window
    std::optional<std::string> runTitle; // --run TITLE
    bool history = false;                // --history
    bool json = false;                   // --json (with --history)
    std::string iconFile;                // --write-icon FILE [SIZE] (for the installer and package)
    int iconSize = 64;
    bool help = false;
    bool version = false;
    std::string error; // set when the arguments make no sense

    static CommandLine parse(int argc, char* argv[]);
    static const char* usage();
};
