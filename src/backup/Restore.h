#pragma once

#include "EventLog.h"

#include <QStringList>
#include <functional>

// What to do with a file that is already where a restored one would go.
enum class ExistingAnswer { Overwrite, KeepBoth, Skip };
struct ExistingChoice {
    ExistingAnswer answer = ExistingAnswer::Skip;
    bool forAll = false; // the same for every later file in the way
};
// Asked with the path of the file in the way; never asked when empty (the file is kept).
using ExistingQuestion = std::function<ExistingChoice(const QString& path)>;
// Told the entry being written and bytes written of all chosen; false cancels the restore.
using RestoreProgress = std::function<bool(const QString& entry, qint64 done, qint64 total)>;

struct RestoreRequest {
    QString archive;
    QString target;        // made when missing
    QStringList chosen;    // entry names, a folder with all it holds; empty: everything
    QString password = {}; // for an encrypted archive
};

struct RestoreOutcome {
    int written = 0;
    int skipped = 0; // kept the file in the way
    int failed = 0;  // refused or broken entries, and chosen names the archive lacks
    bool cancelled = false;
    bool complete() const { return skipped == 0 && failed == 0 && !cancelled; }
};

// Brings the chosen entries of a zip archive back under the target folder: files with their
// bytes, modification time and mode, folders, and symbolic links as links. Nothing is written
// outside the target: names that are absolute or climb with "..", and paths through a link
// (one already there or one this restore made), are refused with a red-cross line. Each file is
// written to a new file beside its place, created exclusively and readable only by the user,
// and takes its name only once it is whole, so a cancelled or failed restore never leaves a
// partial file under a real name. A file in the way is replaced only when `ask` says so.
// Failures are log lines; raises VError only when the archive or the target cannot be opened,
// or when the archive is encrypted and the password is missing or wrong (then nothing is written).
RestoreOutcome restoreArchive(const RestoreRequest& request, EventLog& log,
                              const ExistingQuestion& ask, const RestoreProgress& progress = {});
