#pragma once

#include "ftp/FtpListing.h"
#include "ftp/S3Error.h"
#include "ftp/ServerAddress.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <cstdio>
#include <functional>
#include <optional>
#include <vector>

class DownloadFile;

// Told how many bytes of a transfer have moved of how many; false stops it.
using S3Progress = std::function<bool(qint64 done, qint64 total)>;

struct S3Credentials {
    QString accessKey;
    QString secret;
    QString region;
};

// One signed request against the bucket. Keys are paths below the bucket without a leading
// "/"; the query is written sorted and escaped, as the signature wants it.
struct S3Request {
    const char* method = "GET";
    QString key;
    QByteArray query;
    QList<QByteArray> headers;
    // Upload body: `length` bytes of `source` from `offset`.
    FILE* source = nullptr;
    qint64 offset = 0;
    qint64 length = 0;
    // A small body sent as is (the list of parts that completes an upload).
    QByteArray body;
    bool hasBody = false;
    // Download body, written only when the answer is a success.
    DownloadFile* target = nullptr;
    // Progress of a transfer made of several requests: what went before and the whole size.
    const S3Progress* progress = nullptr;
    qint64 progressBase = 0;
    qint64 progressTotal = 0;
};

struct S3Reply {
    bool ok = false;
    long status = 0;
    QByteArray body; // answers other than downloads
    QByteArray etag;
    qint64 length = -1;
};

// The object-store side of cFTP: path-style requests signed with SigV4 by libcurl, one easy
// handle so the connection is reused. The secret goes to libcurl only as the signing key: it
// never appears in a URL, a header or a description.
class S3Client {
public:
    S3Client(ServerAddress address, S3Credentials credentials, long connectSeconds);
    ~S3Client();
    S3Client(const S3Client&) = delete;
    S3Client& operator=(const S3Client&) = delete;

    const ServerAddress& address() const { return m_address; }
    // Uploads larger than `thresholdBytes` go in parts of `partBytes` (at least 8 MiB).
    void setMultipart(qint64 thresholdBytes, qint64 partBytes);
    bool usesMultipart(qint64 bytes) const { return bytes > m_multipartThreshold; }

    // Lists at most one key: proves the keys, the region and the bucket.
    bool checkBucket();
    // The object's size; -1 when there is none; nothing when the server would not tell.
    std::optional<qint64> size(const QString& key);
    // Sends the file and checks the size the server then gives; an object of the wrong size is
    // removed again.
    bool put(const QString& key, const QString& localPath, const S3Progress& progress);
    bool get(const QString& key, DownloadFile& target, const S3Progress& progress);
    // A copy made on the server: nothing travels through this computer.
    bool copy(const QString& from, const QString& to);
    bool remove(const QString& key);
    // Objects and common prefixes right under `prefix` ("" or ending in "/"), every page.
    std::optional<std::vector<FtpListEntry>> list(const QString& prefix);

    S3Reply send(const S3Request& request);
    // Why the last request failed, in words; and with a note of what was left behind.
    const S3Failure& lastFailure() const { return m_failure; }
    QString lastProblem() const;
    void setFailure(S3Failure failure, QString note = {}) {
        m_failure = std::move(failure);
        m_note = std::move(note);
    }

private:
    bool upload(const QString& key, const QString& localPath, qint64 bytes,
                const S3Progress& progress);
    QByteArray url(const QString& key, const QByteArray& query) const;
    QByteArray escaped(const QString& text, bool keepSlash) const;

    ServerAddress m_address;
    S3Credentials m_credentials;
    long m_connectSeconds;
    void* m_curl;
    qint64 m_multipartThreshold;
    qint64 m_partBytes;
    S3Failure m_failure;
    QString m_note;
};
