#include "ftp/DownloadFile.h"

#include "common/Umask.h"

#include <QFile>
#include <QRandomGenerator>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Written out in steps of this size; at most two steps' pages are waiting for the disk.
constexpr off_t WriteBehindStep = 8 * 1024 * 1024;

// Failures of the disk itself fail the download; anything else (a target that is no regular
// file) only means that writing behind is not possible there.
bool isWriteFailure(int error) {
    return error == EIO || error == ENOSPC || error == EDQUOT;
}

} // namespace

DownloadFile::DownloadFile(const QString& target)
    : m_target(QFile::encodeName(target)) {
}

DownloadFile::~DownloadFile() {
    discard();
}

bool DownloadFile::open() {
    if (m_target.isEmpty())
        return false;
    // Names others cannot guess; when even these are all taken, the download fails.
    for (int attempt = 0; attempt < 100 && m_fd < 0; ++attempt) {
        m_written =
            m_target + ".part-" + QByteArray::number(QRandomGenerator::global()->generate64(), 36);
        m_fd = ::open(m_written.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                      0600);
        if (m_fd < 0 && errno != EEXIST)
            break;
    }
    return m_fd >= 0;
}

bool DownloadFile::write(const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t done = ::write(m_fd, data, size);
        if (done < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += done;
        size -= static_cast<std::size_t>(done);
        m_size += done;
    }
    return writeBehind();
}

bool DownloadFile::writeBehind() {
    while (m_writeBehind && m_size - m_started >= WriteBehindStep) {
        if (::sync_file_range(m_fd, m_started, WriteBehindStep, SYNC_FILE_RANGE_WRITE) != 0) {
            m_writeBehind = false;
            return !isWriteFailure(errno);
        }
        m_started += WriteBehindStep;
        if (m_started - m_released <= 2 * WriteBehindStep)
            continue;
        if (::sync_file_range(m_fd, m_released, WriteBehindStep,
                              SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE |
                                  SYNC_FILE_RANGE_WAIT_AFTER) != 0) {
            m_writeBehind = false;
            return !isWriteFailure(errno);
        }
        // Only advice: pages that stay cached cost memory, not correctness.
        ::posix_fadvise(m_fd, m_released, WriteBehindStep, POSIX_FADV_DONTNEED);
        m_released += WriteBehindStep;
    }
    return true;
}

bool DownloadFile::commit() {
    if (m_fd < 0)
        return false;
    // An overwritten file keeps its permissions; a new one gets what the user's umask gives.
    struct stat existing {};
    mode_t mode = 0;
    if (::lstat(m_target.constData(), &existing) == 0 && S_ISREG(existing.st_mode)) {
        mode = existing.st_mode & 07777;
    } else {
        mode = 0666 & ~processUmask();
    }
    ::fchmod(m_fd, mode);
    const bool closed = ::close(m_fd) == 0;
    m_fd = -1;
    if (!closed || std::rename(m_written.constData(), m_target.constData()) != 0) {
        ::unlink(m_written.constData());
        return false;
    }
    return true;
}

void DownloadFile::discard() {
    if (m_fd < 0)
        return;
    ::close(m_fd);
    m_fd = -1;
    ::unlink(m_written.constData());
}
