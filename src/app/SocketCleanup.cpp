#include "SocketCleanup.h"

#include <csignal>
#include <cstring>
#include <unistd.h>

namespace {

// Fixed storage: a signal handler may touch nothing that allocates.
char socketPath[256];

void onSignal(int signal) {
    SocketCleanup::run();
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

} // namespace

namespace SocketCleanup {

void install(const std::string& path) {
    if (path.size() >= sizeof socketPath) {
        return;
    }
    std::memcpy(socketPath, path.c_str(), path.size() + 1);
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    for (const int signal : {SIGTERM, SIGINT}) {
        ::sigaction(signal, &action, nullptr);
    }
}

void run() {
    if (socketPath[0] != '\0') {
        ::unlink(socketPath);
    }
}

} // namespace SocketCleanup
