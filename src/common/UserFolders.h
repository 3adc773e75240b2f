#pragma once

#include <string>

// Where the program keeps what belongs to the user, after the XDG base directories. Plain C++,
// so that the single-copy lock can be taken before anything of Qt exists.
namespace UserFolders {

// $XDG_DATA_HOME/vestrel, or ~/.local/share/vestrel: the database, the last-start file.
std::string dataFolder();

// Creates the data folder and any missing parents, private to the user (0700), and makes an
// existing one private too. Returns an error text, empty on success.
std::string makeDataFolder();

// $XDG_RUNTIME_DIR when it is a folder of this user, else the data folder.
std::string runtimeFolder();

// The single-copy lock, in the data folder: a start without a runtime folder (over ssh, from
// cron) must meet the same lock as one with it.
std::string lockPath();
// The request socket. In the runtime folder its name carries a hash of the data folder, so that
// two data folders (tests, a second HOME) never answer for each other.
std::string socketPath();

// ~/Backups/Vestrel: where archives go while no store folder has been chosen.
std::string defaultStoreFolder();

} // namespace UserFolders
