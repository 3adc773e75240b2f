#pragma once

#include <QString>
#include <functional>

// Told bytes read back of all; false stops the check, which then fails.
using CheckProgress = std::function<bool(qint64 done, qint64 total)>;

// Reads every member of the archive back to its end, which compares each one's checksum and
// size with what its header says, and compares the local headers with the central directory.
// Empty text when the archive is whole; else what is wrong, naming the member.
// `password` opens an encrypted archive.
QString checkArchive(const QString& path, const CheckProgress& progress = {},
                     const QString& password = {});
