#include "CommandLine.h"

#include <array>
#include <utility>

namespace {
constexpr std::array<std::pair<std::string_view, WindowKind>, 4> Words{{
    {"open", WindowKind::Editor},
    {"options", WindowKind::Options},
    {"explorer", WindowKind::Explorer},
    {"restore-window", WindowKind::Restore},
}};
} // namespace

std::string_view windowWord(WindowKind kind) {
    for (const auto& [word, k] : Words) {
        if (k == kind) {
            return word;
        }
    }
    return {};
}

std::optional<WindowKind> windowFromWord(std::string_view word) {
    for (const auto& [w, kind] : Words) {
        if (w == word) {
            return kind;
        }
    }
    return std::nullopt;
}

CommandLine CommandLine::parse(int argc, char* argv[]) {
    CommandLine line;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            line.help = true;
        } else if (arg == "--write-icon" && i + 1 < argc) {
            line.iconFile = argv[++i];
        } else if (arg == "--restore" && i + 1 < argc) {
            line.restore = line.restore.value_or(RestoreCommand());
            line.restore->archive = argv[++i];
        } else if (arg == "--to" && i + 1 < argc) {
            line.restore = line.restore.value_or(RestoreCommand());
            line.restore->target = argv[++i];
        } else if (arg == "--overwrite") {
            line.restore = line.restore.value_or(RestoreCommand());
            line.restore->overwrite = true;
        } else if (line.restore && !arg.starts_with("--")) {
            line.restore->paths.emplace_back(arg);
        } else if (const auto kind =
                       arg.starts_with("--") ? windowFromWord(arg.substr(2)) : std::nullopt) {
            if (line.window && *line.window != *kind) {
                line.error = "give only one window to show";
                return line;
            }
            line.window = kind;
        } else {
            line.error = "unknown argument '" + std::string(arg) + "'";
            return line;
        }
    }
    if (line.restore &&
        (line.restore->archive.empty() || line.restore->target.empty() || line.window)) {
        line.error = "--restore ARCHIVE needs --to FOLDER, and no window";
    }
    return line;
}

const char* CommandLine::usage() {
    return "Usage: vestrel [--open | --options | --explorer | --restore-window]\n"
           "       vestrel --restore ARCHIVE --to FOLDER [PATH...] [--overwrite]\n"
           "Runs the backup schedule from a tray icon. With an option, shows that window:\n"
           "  --open       the session editor\n"
           "  --options    the options dialog\n"
           "  --explorer   the FTP explorer\n"
           "  --restore-window  the restore window\n"
           "in the copy that is already running, or starts the program and shows it there.\n"
           "--restore writes the archive's entries (or the PATHs named, a folder with all it\n"
           "holds) under FOLDER without windows; files already there are kept unless\n"
           "--overwrite is given. Exit code 0 only when every chosen entry was written.\n"
           "\n"
           "Where things are kept:\n"
           "  $XDG_DATA_HOME/vestrel/ (~/.local/share/vestrel/)   sessions (vestrel.mdb), the\n"
           "                                                     last start, the lock\n"
           "  $XDG_CONFIG_HOME/Vodidore.ini (~/.config/...)     options, FTP password (mode 0600)\n"
           "  ~/Backups/Vestrel                                 archives, unless the options\n"
           "                                                     name another folder\n"
           "  $XDG_RUNTIME_DIR                                  the socket later starts talk to\n";
}
