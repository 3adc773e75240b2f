#pragma once

#include <string>

// Removes the request socket when the process ends: through Exit, at the end of the event loop,
// or on SIGTERM and SIGINT, so that dead copies leave nothing behind in the runtime folder.
namespace SocketCleanup {

// Remembers the path and takes over SIGTERM and SIGINT; the signal still ends the process.
void install(const std::string& path);

// Removes the socket now; safe to call more than once.
void run();

} // namespace SocketCleanup
