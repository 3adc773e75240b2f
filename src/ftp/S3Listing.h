#pragma once

#include "ftp/FtpListing.h"

#include <QByteArray>
#include <QString>
#include <vector>

// One page of a ListObjectsV2 answer, read as a folder: objects right under the prefix are
// files, common prefixes ("sub/" with delimiter "/") are folders.
struct S3ListPage {
    std::vector<FtpListEntry> entries;
    // Where the next page starts; empty on the last page.
    QString continuation;
    bool ok = false;
};

// Names are what follows `prefix`; keys that do not start with it, the prefix's own marker
// object ("pub/") and anything that would need a "/" in a file name are left out.
S3ListPage parseS3ListPage(const QByteArray& body, const QString& prefix);

// The text of the first element of that name in an XML answer (UploadId, ETag …).
QString firstS3Element(const QByteArray& body, const QString& name);
