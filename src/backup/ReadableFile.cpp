#include "ReadableFile.h"

#include <cerrno>
#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

// A handle on the name that reads nothing, links included.
int openHandle(const FileToRead& file) {
    if (file.folder != AT_FDCWD) {
        open_how how{};
        how.flags = O_PATH | O_NOFOLLOW | O_CLOEXEC;
        how.resolve = RESOLVE_NO_SYMLINKS | RESOLVE_BENEATH;
        const long fd = ::syscall(SYS_openat2, file.folder, file.path.c_str(), &how, sizeof how);
        if (fd >= 0 || errno != ENOSYS) {
            return static_cast<int>(fd);
        }
    }
    return ::openat(file.folder, file.path.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
}

} // namespace

OpenedFile openRegularFile(const FileToRead& file) {
    OpenedFile out;
    const int handle = openHandle(file);
    if (handle < 0) {
        out.error = errno;
        // A link in the way: the name or a folder on the path was swapped for one.
        out.notRegular = out.error == ELOOP || out.error == EXDEV;
        return out;
    }
    if (::fstat(handle, &out.st) != 0 || !S_ISREG(out.st.st_mode)) {
        out.error = errno;
        out.notRegular = true;
        ::close(handle);
        return out;
    }
    // Reopened through the handle, so it is the file just checked and not what a swap put under
    // the name since.
    const std::string self = "/proc/self/fd/" + std::to_string(handle);
    out.fd = ::open(self.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (out.fd < 0 && errno == ENOENT) { // no /proc: open the name and check again
        out.fd = ::openat(file.folder, file.path.c_str(),
                          O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        struct stat now {};
        if (out.fd >= 0 && (::fstat(out.fd, &now) != 0 || !S_ISREG(now.st_mode))) {
            ::close(out.fd);
            out.fd = -1;
            out.notRegular = true;
        }
    }
    if (out.fd < 0 && !out.notRegular) {
        out.error = errno;
    }
    ::close(handle);
    return out;
}
