#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <cstdint>
#include <vector>

// Attribute values of listing entries, as the listing text carries them.
namespace FtpAttribute {
inline constexpr std::int32_t ReadOnly = 1;
inline constexpr std::int32_t Folder = 16;
inline constexpr std::int32_t Normal = 128;
} // namespace FtpAttribute

struct FtpListEntry {
    FtpListEntry() = default;
    FtpListEntry(QString entryName, std::int32_t entryAttributes, qint64 entrySize = -1,
                 QDateTime entryModified = {})
        : name(std::move(entryName))
        , attributes(entryAttributes)
        , size(entrySize)
        , modified(std::move(entryModified)) {}

    QString name;
    std::int32_t attributes = FtpAttribute::Normal;
    qint64 size = -1;   // -1 when the server does not tell
    QDateTime modified; // invalid when the server does not tell

    // The same entry of the listing text, whatever size and time the server gave.
    bool operator==(const FtpListEntry& other) const {
        return name == other.name && attributes == other.attributes;
    }
};

// Entries of a folder listing in the server's order, without "." and "..". The MLSD form is
// what servers send for machine reading; the LIST form (Unix "ls -l" or DOS style) serves
// servers without MLSD. Lines that cannot be read are skipped, and so are names that the listing
// text cannot carry or that are no plain file name (path separators, control characters).
std::vector<FtpListEntry> parseMlsdListing(const QByteArray& body);
std::vector<FtpListEntry> parseListListing(const QByteArray& body);

// "*.*" (and "*") take every name, as on the desktop the filter came from; anything else is a
// shell wildcard matched against the whole name.
bool matchesListFilter(const QString& name, const QString& filter);

// "name@@attributes" joined by "||".
QString listingText(const std::vector<FtpListEntry>& entries, const QString& filter);
