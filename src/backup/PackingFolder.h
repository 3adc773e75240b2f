#pragma once

#include <QString>

// A private folder beside an archive in which the packer builds it, so that the archive only
// ever appears under its own name whole, even when the process is killed while it packs. The
// folder is locked as long as its packer lives; one that a killed packer left is known by its
// name and its free lock, and the next packer into the same folder removes it.
class PackingFolder {
public:
    // Makes and locks the folder, with the archive as it stands (if any) inside it. Raises
    // VError when it cannot.
    explicit PackingFolder(const QString& archivePath);
    ~PackingFolder(); // removes the folder with what the packer left in it
    PackingFolder(const PackingFolder&) = delete;
    PackingFolder& operator=(const PackingFolder&) = delete;

    // Where the packer reads and writes the archive.
    QString workPath() const;
    // Puts the written archive in place of the archive in one step. Nothing happens when the
    // packer wrote none. Raises VError when it cannot.
    void publish();

private:
    void release();

    QString m_archivePath;
    QString m_folder;
    int m_lock = -1;
};

// Removes from `folder` what killed packers left there: only packing folders that no packer
// holds, and in them only the files a packer writes.
void removePackingLeftovers(const QString& folder);
