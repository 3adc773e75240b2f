#pragma once

#include <QString>

class ArchiveFile;

// Whether a password opens an archive's encrypted entries.
enum class PasswordFit {
    NotNeeded, // nothing in it is encrypted
    Opens,
    Missing, // encrypted, and no password given
    Wrong,
};

// Tries the password on the first encrypted entry (AES carries a check value, so a wrong one is
// told before any byte is read) and, when it opens it, sets it for every later read.
PasswordFit tryPassword(const ArchiveFile& archive, const QString& password);

// The line that tells the user why the archive cannot be read; empty when it can.
QString passwordFailureText(PasswordFit fit, const QString& archive);
