#include "RequestChannel.h"

#include "SingleCopyLock.h"
#include "common/UserFolders.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <optional>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

// How long a start waits for a copy that holds the lock but does not listen yet (it may still
// be opening its database), and for its answer once connected.
constexpr auto StartingCopyWait = std::chrono::seconds(10);
constexpr int AnswerWaitMs = 5000;

// Only a socket of this user is asked.
int connectTo(const std::string& path) {
    struct stat st {};
    sockaddr_un address{};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISSOCK(st.st_mode) || st.st_uid != ::getuid() ||
        path.size() >= sizeof address.sun_path) {
        return -1;
    }
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return -1;
    }
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// Waits up to waitMs for the reply, or for ever when waitMs is negative.
std::optional<std::string> ask(int fd, std::string_view word, int waitMs) {
    const std::string request = std::string(word) + '\n';
    if (::send(fd, request.data(), request.size(), MSG_NOSIGNAL) !=
        static_cast<ssize_t>(request.size())) {
        return std::nullopt;
    }
    std::string reply;
    const auto deadline = Clock::now() + std::chrono::milliseconds(waitMs);
    while (reply.find('\n') == std::string::npos) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        pollfd p{fd, POLLIN, 0};
        const int timeout = waitMs < 0 ? -1 : static_cast<int>(left.count());
        if ((waitMs >= 0 && left.count() <= 0) || ::poll(&p, 1, timeout) <= 0) {
            return std::nullopt;
        }
        char buffer[64];
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0) {
            return std::nullopt;
        }
        reply.append(buffer, static_cast<std::size_t>(n));
    }
    reply.erase(reply.find('\n'));
    return reply;
}

} // namespace

namespace RequestChannel {

namespace {

// Sends the request to the copy that holds the lock; `answered` decides, from its reply,
// whether the request is done.
Outcome deliver(const std::string& request, int waitMs,
                const std::function<std::optional<Outcome>(const std::string&)>& answered) {
    // A copy started from another environment may have found no runtime folder: try the data
    // folder too.
    std::vector<std::string> paths{UserFolders::socketPath()};
    if (UserFolders::runtimeFolder() != UserFolders::dataFolder()) {
        paths.push_back(UserFolders::dataFolder() + "/vestrel.socket");
    }
    const auto deadline = Clock::now() + StartingCopyWait;
    while (Clock::now() < deadline) {
        for (const std::string& path : paths) {
            const int fd = connectTo(path);
            if (fd < 0) {
                continue;
            }
            const std::optional<std::string> reply = ask(fd, request, waitMs);
            ::close(fd);
            if (reply) {
                if (const std::optional<Outcome> outcome = answered(*reply)) {
                    return *outcome;
                }
            } else if (waitMs < 0) {
                // The copy took the request and ended before it answered: asking again could
                // run it twice.
                return Outcome::Failed;
            }
        }
        switch (SingleCopyLock::acquire(UserFolders::lockPath())) {
        case SingleCopyLock::Result::Acquired:
            return Outcome::BecameProgram;
        case SingleCopyLock::Result::Failed:
            return Outcome::Failed;
        case SingleCopyLock::Result::HeldByAnotherCopy:
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return Outcome::Failed;
}

} // namespace

Outcome forward(WindowKind kind) {
    return deliver(std::string(windowWord(kind)), AnswerWaitMs,
                   [](const std::string& reply) -> std::optional<Outcome> {
                       if (reply == Shown) {
                           return Outcome::Delivered;
                       }
                       if (reply == NoDisplay) {
                           return Outcome::NoDisplay;
                       }
                       return std::nullopt;
                   });
}

Outcome forwardRun(const std::string& title, std::string& reply) {
    return deliver(std::string(RunPrefix) + title, -1,
                   [&reply](const std::string& answer) -> std::optional<Outcome> {
                       reply = answer;
                       return Outcome::Delivered;
                   });
}

} // namespace RequestChannel
