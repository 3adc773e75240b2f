#pragma once

#include "WindowKind.h"

#include <string>
#include <vector>

// The local socket through which a later start asks the running copy to show a window. It is
// private to the user (in the user's runtime folder, else in the private data folder) and to the
// data folder (a hash of it in its name), so copies with two data folders do not answer for each
// other. Plain POSIX, so the asking start needs nothing of Qt.
namespace RequestChannel {

// The replies of the running copy, one line each.
inline constexpr std::string_view Shown = "shown";
inline constexpr std::string_view NoDisplay = "no display";
// "run TITLE" runs that session and is answered, once the run is over, by its outcome word
// ("ok", "failed", "nothing"), or at once by UnknownTitle.
inline constexpr std::string_view RunPrefix = "run ";
inline constexpr std::string_view UnknownTitle = "unknown title";

enum class Outcome {
    Delivered,     // the running copy showed the window
    BecameProgram, // no copy runs any more: this process holds the lock now and goes on starting
    NoDisplay,     // the running copy has no display to show windows on
    Failed,        // the running copy does not answer
};

// Asks the copy that holds the single-copy lock to show the window, waiting while that copy is
// still starting. Takes the lock itself when that copy ends meanwhile.
Outcome forward(WindowKind kind);
// Asks the running copy to run the session named `title` and waits, however long the run takes,
// for the reply, which goes into `reply` when the outcome is Delivered.
Outcome forwardRun(const std::string& title, std::string& reply);

} // namespace RequestChannel
