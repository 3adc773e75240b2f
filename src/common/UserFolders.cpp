#include "UserFolders.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string homeFolder() {
    if (const char* home = std::getenv("HOME"); home && home[0] == '/') {
        return home;
    }
    const passwd* entry = ::getpwuid(::getuid());
    return entry && entry->pw_dir ? entry->pw_dir : "/";
}

// A relative XDG value is to be ignored, as the base-directory rules say.
std::string absoluteEnv(const char* name) {
    const char* value = std::getenv(name);
    return value && value[0] == '/' ? value : "";
}

// FNV-1a: stable across builds and runs, unlike std::hash.
std::uint64_t textHash(const std::string& text) {
    std::uint64_t hash = 14695981039346656037ull;
    for (const unsigned char c : text) {
        hash = (hash ^ c) * 1099511628211ull;
    }
    return hash;
}

bool isPrivateRuntime(const std::string& folder) {
    struct stat st {};
    return !folder.empty() && ::stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode) &&
           st.st_uid == ::getuid();
}

std::string inRuntime(const char* extension) {
    const std::string runtime = absoluteEnv("XDG_RUNTIME_DIR");
    if (!isPrivateRuntime(runtime)) {
        return UserFolders::dataFolder() + "/vestrel." + extension;
    }
    char name[64];
    std::snprintf(name, sizeof name, "/vestrel-%016llx.%s",
                  static_cast<unsigned long long>(textHash(UserFolders::dataFolder())), extension);
    return runtime + name;
}

} // namespace

namespace UserFolders {

std::string dataFolder() {
    std::string base = absoluteEnv("XDG_DATA_HOME");
    if (base.empty()) {
        base = homeFolder() + "/.local/share";
    }
    while (base.size() > 1 && base.back() == '/') {
        base.pop_back();
    }
    return base + "/vestrel";
}

std::string makeDataFolder() {
    const std::string folder = dataFolder();
    for (std::size_t slash = folder.find('/', 1);; slash = folder.find('/', slash + 1)) {
        const std::string part = folder.substr(0, slash);
        if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) {
            return "cannot create " + part + ": " + std::strerror(errno);
        }
        if (slash == std::string::npos) {
            break;
        }
    }
    struct stat st {};
    if (::stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        return folder + " is not a folder";
    }
    // The database names the user's files and servers: nobody else reads it.
    if ((st.st_mode & 077) != 0 && st.st_uid == ::getuid() && ::chmod(folder.c_str(), 0700) != 0) {
        return "cannot make " + folder + " private: " + std::strerror(errno);
    }
    return {};
}

std::string runtimeFolder() {
    const std::string runtime = absoluteEnv("XDG_RUNTIME_DIR");
    return isPrivateRuntime(runtime) ? runtime : dataFolder();
}

std::string lockPath() {
    return dataFolder() + "/vestrel.lock";
}

std::string socketPath() {
    return inRuntime("socket");
}

std::string defaultStoreFolder() {
    return homeFolder() + "/Backups/Vestrel";
}

} // namespace UserFolders
