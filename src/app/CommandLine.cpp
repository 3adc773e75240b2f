#include "CommandLine.h"

#include <array>
#include <string>
#include <utility>

namespace {
constexpr std::array<std::pair<std::string_view, WindowKind>, WindowKinds> Words{{
    {"open", WindowKind::Editor},
    {"options", WindowKind::Options},
    {"explorer", WindowKind::Explorer},
    {"history-window", WindowKind::History},
    {"restore-window", WindowKind::Restore},
}};
// The sizes an icon theme holds, up to the largest a desktop asks for.
bool isIconSize(std::string_view text) {
    if (text.empty() || text.size() > 4 || text.find_first_not_of("0123456789") != text.npos) {
        return false;
    }
    const int size = std::stoi(std::string(text));
    return size >= 16 && size <= 1024;
}

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
        } else if (arg == "--version") {
            line.version = true;
        } else if (arg == "--write-icon" && i + 1 < argc) {
            line.iconFile = argv[++i];
            if (i + 1 < argc && isIconSize(argv[i + 1])) {
                line.iconSize = std::stoi(argv[++i]);
            }
        } else if (arg == "--run" && i + 1 < argc) {
            line.runTitle = argv[++i];
        } else if (arg == "--history") {
            line.history = true;
        } else if (arg == "--json") {
            line.json = true;
        } else if (arg == "--restore" && i + 1 < argc) {
            line.restore = line.restore.value_or(RestoreCommand());
            line.restore->archive = argv[++i];
        } else if (arg == "--to" && i + 1 < argc) {
            line.restore = line.restore.value_or(RestoreCommand());
            line.restore->target = argv[++i];
        } else if (arg == "--password-file" && i + 1 < argc) {
            line.restore = line.restore.value_or(RestoreCommand());
            line.restore->passwordFile = argv[++i];
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
    const int actions = int(line.window.has_value()) + int(line.runTitle.has_value()) +
                        int(line.history) + int(line.restore.has_value());
    if (actions > 1) {
        line.error = "give only one of a window, --run, --history and --restore";
    } else if (line.json && !line.history) {
        line.error = "--json goes with --history";
    } else if (line.restore && (line.restore->archive.empty() || line.restore->target.empty())) {
        line.error = "--restore ARCHIVE needs --to FOLDER";
    }
    return line;
}

const char* CommandLine::usage() {
    return "Usage: vestrel [--open | --options | --explorer | --history-window | "
           "--restore-window]\n"
           "       vestrel --run TITLE\n"
           "       vestrel --history [--json]\n"
           "       vestrel --restore ARCHIVE --to FOLDER [PATH...] [--overwrite]\n"
           "                         [--password-file FILE]\n"
           "       vestrel --write-icon FILE [SIZE] | --version | --help\n"
           "Runs the backup schedule from a tray icon. With an option, shows that window:\n"
           "  --open             the session editor\n"
           "  --options          the options dialog\n"
           "  --explorer         the FTP explorer\n"
           "  --history-window   the run history\n"
           "  --restore-window   the restore window\n"
           "in the copy that is already running, or starts the program and shows it there.\n"
           "  --write-icon FILE [SIZE]  writes the icon as a PNG file, SIZE pixels square (64)\n"
           "  --version    prints the version\n"
           "  --help, -h   prints this text\n"
           "\n"
           "  --run TITLE        runs the session named TITLE now, in the running copy or, when\n"
           "                     none runs, in this process without windows. Exit code: 0 ok,\n"
           "                     1 failed, 3 nothing to back up, 2 no session of that name\n"
           "  --history          prints the kept runs, newest first, and exits\n"
           "  --json             with --history: one JSON object a line\n"
           "  --restore ARCHIVE --to FOLDER [PATH...]  writes the archive's entries (or the PATHs\n"
           "                     named, a folder with all it holds) under FOLDER without\n"
           "                     windows; files already there are kept unless --overwrite is\n"
           "                     given. An encrypted archive needs --password-file FILE,\n"
           "                     whose first line is the password. Exit code: 0 when every\n"
           "                     chosen entry was written; 1 when any was not (kept because\n"
           "                     it was there, refused, missing), when the password is\n"
           "                     missing or wrong, or the archive cannot be found or read\n"
           "\n"
           "Where things are kept:\n"
           "  $XDG_DATA_HOME/vestrel/ (~/.local/share/vestrel/)   sessions (vestrel.mdb), the\n"
           "                                                     last start, the newest run\n"
           "                                                     seen in History, the lock\n"
           "  $XDG_CONFIG_HOME/Vodidore.ini (~/.config/...)     options, FTP password (mode 0600)\n"
           "  ~/Backups/Vestrel                                 archives, unless the options\n"
           "                                                     name another folder\n"
           "  $XDG_RUNTIME_DIR                                  the socket later starts talk to\n";
}
