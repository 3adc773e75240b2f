#pragma once

#include "ftp/cFTP.h"

#include <QString>

class Settings;

// Downloads an archive from the server the options name to `localFile`, with the run's rules
// of trust. Empty text when it arrived whole; else why not.
QString fetchArchive(const Settings& settings, const FtpFactory& ftpFactory,
                     const QString& remotePath, const QString& localFile,
                     const TransferProgress& progress = {});
