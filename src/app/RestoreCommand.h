#pragma once

#include "CommandLine.h"

class ArchiveCatalog;

// vestrel --restore: restores without windows, each line on standard error. The archive is a
// file, or an archive the catalog knows (fetched from the server when the store lacks it).
// Returns the exit code: 0 only when every chosen entry was written.
int restoreFromCommandLine(const RestoreCommand& command, ArchiveCatalog& catalog);

// The same, with the history in the data folder as the catalog and the restore kept there as a
// run; without that history, only archive files are restored.
int restoreFromCommandLine(const RestoreCommand& command);
