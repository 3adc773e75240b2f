#pragma once

#include "SkipPatterns.h"

#include <QString>
#include <functional>
#include <memory>
#include <vector>

// The paths of one packing, by slot number; an empty text is an empty slot. A run fills as many
// slots as its session has entries, so no entry is ever left out for want of a slot.
class FileSlots {
public:
    explicit FileSlots(int size = 100);

    // Empty text for a slot that was never filled, also beyond the last one.
    const QString& operator[](int k) const;
    void set(int k, const QString& path);
    int size() const { return static_cast<int>(m_slots.size()); }

private:
    std::vector<QString> m_slots;
};

// Told while an archive is written: the file being read, and bytes read of all files so far.
using PackProgress = std::function<void(const QString& path, qint64 done, qint64 total)>;

struct PackOptions {
    // Told, as a line for the log, of each thing in the folders that is not packed: pipes,
    // sockets, devices, and files swapped for something else before they were read.
    std::function<void(const QString& line)> skipped;
    // When set, every entry is encrypted with it (AES-256).
    QString password;
    // Threads that deflate; 0: VESTREL_PACK_WORKERS, else one per hardware thread.
    int workers = 0;
    // What is left out below the packed folders, by path relative to each.
    SkipPatterns skip = SkipPatterns();
};

// Packs files and folders into zip archives. A file is stored under its own name; a folder with
// everything below it (empty folders too) under paths relative to the folder's parent.
// Modification times (to the second) and modes are kept; links are stored as links, the way
// Info-ZIP's zip stores them. Files are deflated on several threads and read at most to the
// size they had when opened. Nothing is read before close(): it reads every file once,
// streaming, and replaces the archive in one step, so a failure leaves the old archive (or none)
// and no partial file; so does a process killed while it packs, and the next packing into that
// folder removes what the killed one left (see PackingFolder). Entries of an existing archive are
// kept unless a new one has their name. Within one packing a file or folder whose name an earlier
// one took is stored numbered
// ("report (2).txt", "Documents (2)/"), so that neither is lost. Names keep the file system's
// bytes, UTF-8 or not.
class ZipPacker {
public:
    explicit ZipPacker(PackOptions options = {});
    ~ZipPacker(); // discards whatever was not closed
    ZipPacker(const ZipPacker&) = delete;
    ZipPacker& operator=(const ZipPacker&) = delete;

    // Adds `path` to the archive at `archivePath`. Switching to another archive closes the
    // previous one first. Raises VError when the path cannot be read or the archive opened.
    void Pack(const QString& path, const QString& archivePath);
    // Writes the archive. Raises VError saying what failed; no archive is then changed.
    void close();
    // Called from inside close() as files are read.
    void setProgress(PackProgress progress);
    // From any thread: close() then stops soon, raises VError and writes no archive.
    void cancel();
    // Files and folders the skip patterns left out so far (a folder counts once).
    int skippedByPattern() const;

    struct Impl;

private:
    std::unique_ptr<Impl> m_impl;
};

// Packs slots 1 to `count` (empty slots skipped) into the archive at `archivePath`, in slot
// order. No archive is written when no slot is filled. Failures raise VError. Returns how many
// files and folders the skip patterns left out.
int PackFiles(int count, const QString& archivePath, const FileSlots& fileSlots,
              PackProgress progress = {}, PackOptions options = {});
