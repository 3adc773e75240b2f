#pragma once

#include <QByteArray>
#include <QString>
#include <cstddef>
#include <sys/types.h>

// The local side of a download: a new file beside the target, created exclusively under a name
// of its own and readable only by the user, that takes the target's place only once the
// transfer is complete. A broken transfer never leaves a truncated file where a good one was,
// and the target's name is never opened for writing, so a link planted there (or at any name
// in a shared folder) is replaced, never followed.
//
// A large download goes to disk while it arrives, and the pages already on disk leave the
// page cache: written beside a file of the same size, it would otherwise need that much fresh
// memory again (the old file's pages are freed only when the new file replaces it), and the
// replacing rename would have to start writing all of it at once.
class DownloadFile {
public:
    explicit DownloadFile(const QString& target);
    ~DownloadFile();
    DownloadFile(const DownloadFile&) = delete;
    DownloadFile& operator=(const DownloadFile&) = delete;

    bool open();
    bool write(const char* data, std::size_t size);
    // Puts the complete file in the target's place.
    bool commit();
    // Drops what was written (the target stays as it was, except after a direct write).
    void discard();

private:
    bool writeBehind();

    QByteArray m_target;
    QByteArray m_written;
    int m_fd = -1;
    bool m_writeBehind = true;
    // Bytes written; bytes whose writing to disk has been started; bytes on disk and let go.
    off_t m_size = 0;
    off_t m_started = 0;
    off_t m_released = 0;
};
