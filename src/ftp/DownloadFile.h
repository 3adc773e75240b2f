#pragma once

#include <QByteArray>
#include <QString>
#include <cstddef>

// The local side of a download: a new file beside the target that takes the target's place
// only once the transfer is complete, so a broken transfer never leaves a truncated file where
// a good one was. Where the folder cannot take a new file, the target is written directly.
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
    QByteArray m_target;
    QByteArray m_written;
    int m_fd = -1;
    bool m_direct = false;
};
