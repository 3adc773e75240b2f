#include "ftp/S3Client.h"

#include "ftp/CurlResources.h"
#include "ftp/DownloadFile.h"
#include "ftp/S3Listing.h"
#include "ftp/S3Multipart.h"
#include "ftp/TransferLimits.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <curl/curl.h>
#include <new>

namespace {

// S3 takes one PUT of up to 5 GiB; above it only a multipart upload.
constexpr qint64 SinglePutLimit = 5LL << 30;
constexpr qint64 DefaultPartBytes = 64LL << 20;
constexpr qint64 MinimumPartBytes = 8LL << 20;
constexpr qint64 MaximumParts = 10000;

// What one request reads, writes and reports while libcurl runs it.
struct Exchange {
    const S3Request* request = nullptr;
    CURL* curl = nullptr;
    S3Reply reply;
    qint64 sent = 0;
    bool writeFailed = false;
};

bool isSuccess(CURL* curl) {
    long status = 0;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
    return status >= 200 && status < 300;
}

size_t onBody(char* data, size_t size, size_t count, void* target) {
    auto& x = *static_cast<Exchange*>(target);
    const size_t bytes = size * count;
    try {
        if (x.request->target && isSuccess(x.curl)) {
            x.writeFailed = !x.request->target->write(data, bytes);
            return x.writeFailed ? 0 : bytes;
        }
        x.reply.body.append(data, static_cast<qsizetype>(bytes));
    } catch (...) {
        return 0;
    }
    return bytes;
}

size_t onHeader(char* data, size_t size, size_t count, void* target) {
    auto& x = *static_cast<Exchange*>(target);
    const QByteArray line = QByteArray(data, static_cast<qsizetype>(size * count)).trimmed();
    if (line.toLower().startsWith("etag:"))
        x.reply.etag = line.mid(5).trimmed();
    return size * count;
}

size_t onRead(char* buffer, size_t size, size_t count, void* source) {
    auto& x = *static_cast<Exchange*>(source);
    const qint64 left = x.request->length - x.sent;
    const size_t wanted = static_cast<size_t>(std::min<qint64>(left, qint64(size * count)));
    const size_t got = wanted == 0 ? 0 : std::fread(buffer, 1, wanted, x.request->source);
    if (got == 0 && wanted > 0)
        return CURL_READFUNC_ABORT;
    x.sent += qint64(got);
    return got;
}

int onProgress(void* data, curl_off_t, curl_off_t downNow, curl_off_t, curl_off_t upNow) {
    const auto& x = *static_cast<const Exchange*>(data);
    const S3Request& r = *x.request;
    try {
        const qint64 now = r.source ? qint64(upNow) : qint64(downNow);
        qint64 total = r.progressTotal;
        if (total == 0 && !r.source)
            curl_easy_getinfo(x.curl, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &total);
        return (*r.progress)(r.progressBase + now, std::max<qint64>(total, 0)) ? 0 : 1;
    } catch (...) {
        return 1;
    }
}

} // namespace

S3Client::S3Client(ServerAddress address, S3Credentials credentials, long connectSeconds)
    : m_address(std::move(address))
    , m_credentials(std::move(credentials))
    , m_connectSeconds(connectSeconds)
    , m_curl(curl_easy_init())
    , m_multipartThreshold(SinglePutLimit)
    , m_partBytes(DefaultPartBytes) {
    if (!m_curl)
        throw std::bad_alloc();
}

S3Client::~S3Client() {
    curl_easy_cleanup(static_cast<CURL*>(m_curl));
}

void S3Client::setMultipart(qint64 thresholdBytes, qint64 partBytes) {
    m_multipartThreshold = std::clamp<qint64>(thresholdBytes, 0, SinglePutLimit);
    m_partBytes = std::max(partBytes, MinimumPartBytes);
}

QString S3Client::lastProblem() const {
    const QString text = describeS3Failure(m_failure, m_address.bucket);
    return m_note.isEmpty() ? text : text + QStringLiteral(". ") + m_note;
}

QByteArray S3Client::escaped(const QString& text, bool keepSlash) const {
    QByteArray out;
    const QStringList parts = keepSlash ? text.split(QLatin1Char('/')) : QStringList{text};
    for (qsizetype i = 0; i < parts.size(); ++i) {
        const QByteArray raw = parts[i].toUtf8();
        char* e = curl_easy_escape(static_cast<CURL*>(m_curl), raw.constData(), int(raw.size()));
        if (!e)
            throw std::bad_alloc();
        out += (i > 0 ? "/" : "") + QByteArray(e);
        curl_free(e);
    }
    return out;
}

QByteArray S3Client::url(const QString& key, const QByteArray& query) const {
    QByteArray host = m_address.host.toUtf8();
    if (host.contains(':') && !host.startsWith('['))
        host = '[' + host + ']';
    QByteArray result = QByteArray(m_address.scheme()) + "://" + host + ':' +
                        QByteArray::number(m_address.port) + '/' + escaped(m_address.bucket, false);
    if (!key.isEmpty())
        result += '/' + escaped(key, true);
    if (!query.isEmpty())
        result += '?' + query;
    return result;
}

S3Reply S3Client::send(const S3Request& request) {
    CURL* curl = static_cast<CURL*>(m_curl);
    Exchange x;
    x.request = &request;
    x.curl = curl;
    CurlStringList headers;
    // Streamed bodies are not hashed ahead; TLS (or the user's choice of plain HTTP) covers them.
    headers.append("x-amz-content-sha256: UNSIGNED-PAYLOAD");
    // Waiting for "100 Continue" costs a round trip on every part.
    headers.append("Expect:");
    for (const QByteArray& header : request.headers)
        headers.append(header);
    curl_easy_reset(curl);
    curl_easy_setopt(curl, CURLOPT_URL, url(request.key, request.query).constData());
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, m_address.scheme());
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, m_connectSeconds);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, TransferLimits::StallSeconds);
    curl_easy_setopt(curl, CURLOPT_TCP_KEEPALIVE, 1L);
    curl_easy_setopt(curl, CURLOPT_BUFFERSIZE, TransferLimits::BufferBytes);
    curl_easy_setopt(curl, CURLOPT_UPLOAD_BUFFERSIZE, TransferLimits::BufferBytes);
    const QByteArray sigv4 = "aws:amz:" + m_credentials.region.toUtf8() + ":s3";
    curl_easy_setopt(curl, CURLOPT_AWS_SIGV4, sigv4.constData());
    curl_easy_setopt(curl, CURLOPT_USERNAME, m_credentials.accessKey.toUtf8().constData());
    curl_easy_setopt(curl, CURLOPT_PASSWORD, m_credentials.secret.toUtf8().constData());
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers.get());
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, onBody);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &x);
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, onHeader);
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, &x);
    const QByteArray method(request.method);
    if (method == "HEAD") {
        curl_easy_setopt(curl, CURLOPT_NOBODY, 1L);
    } else if (request.source) {
        curl_easy_setopt(curl, CURLOPT_UPLOAD, 1L);
        curl_easy_setopt(curl, CURLOPT_READFUNCTION, onRead);
        curl_easy_setopt(curl, CURLOPT_READDATA, &x);
        curl_easy_setopt(curl, CURLOPT_INFILESIZE_LARGE, curl_off_t(request.length));
    } else if (request.hasBody) {
        curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE, curl_off_t(request.body.size()));
        curl_easy_setopt(curl, CURLOPT_POSTFIELDS, request.body.constData());
    }
    if (method != "GET" && method != "HEAD")
        curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, request.method);
    if (request.progress && *request.progress) {
        curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
        curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, onProgress);
        curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &x);
    }
    if (request.source && fseeko(request.source, off_t(request.offset), SEEK_SET) != 0) {
        m_failure = {0, {}, {}, QStringLiteral("Cannot read the local file")};
        return x.reply;
    }
    const CURLcode code = curl_easy_perform(curl);
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &x.reply.status);
    curl_off_t length = -1;
    curl_easy_getinfo(curl, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
    x.reply.length = length;
    x.reply.ok = code == CURLE_OK && x.reply.status >= 200 && x.reply.status < 300;
    // An upload can be completed with 200 and an error document all the same.
    if (x.reply.ok && x.reply.body.contains("<Error>"))
        x.reply.ok = false;
    m_note.clear();
    if (code == CURLE_ABORTED_BY_CALLBACK)
        m_failure = {0, {}, {}, QStringLiteral("The transfer was stopped")};
    else if (code != CURLE_OK && x.reply.status == 0)
        m_failure = {0, {}, QString::fromUtf8(curl_easy_strerror(code)), {}};
    else if (!x.reply.ok)
        m_failure = parseS3Failure(x.reply.status, x.reply.body);
    return x.reply;
}

bool S3Client::checkBucket() {
    S3Request request;
    request.query = "list-type=2&max-keys=1";
    return send(request).ok;
}

std::optional<qint64> S3Client::size(const QString& key) {
    S3Request request;
    request.method = "HEAD";
    request.key = key;
    const S3Reply reply = send(request);
    if (reply.ok)
        return reply.length;
    if (reply.status == 404)
        return -1;
    return std::nullopt;
}

bool S3Client::put(const QString& key, const QString& localPath, const S3Progress& progress) {
    const qint64 bytes = QFileInfo(localPath).size();
    if (!upload(key, localPath, bytes, progress))
        return false;
    // A confirmed upload can still be short (a reset loses what the server had not read yet).
    const std::optional<qint64> held = size(key);
    if (held && *held == bytes)
        return true;
    S3Failure why = m_failure;
    if (held)
        why = {0, {}, {}, QStringLiteral("The server holds %1 of %2 bytes").arg(*held).arg(bytes)};
    // What the server holds is not the file: it must not stand under the name.
    const bool removed = remove(key);
    setFailure(why, removed ? QStringLiteral("The object was removed")
                            : QStringLiteral("The object may be left on the server"));
    return false;
}

bool S3Client::upload(const QString& key, const QString& localPath, qint64 bytes,
                      const S3Progress& progress) {
    UploadSource file(localPath);
    if (!file.get()) {
        m_failure = {0, {}, {}, QStringLiteral("Cannot read %1").arg(localPath)};
        return false;
    }
    if (usesMultipart(bytes)) {
        const qint64 part = std::max(m_partBytes, (bytes + MaximumParts - 1) / MaximumParts);
        return S3Multipart(*this, key, progress).send(file.get(), bytes, part);
    }
    S3Request request;
    request.method = "PUT";
    request.key = key;
    request.source = file.get();
    request.length = bytes;
    request.progress = &progress;
    request.progressTotal = bytes;
    return send(request).ok;
}

bool S3Client::get(const QString& key, DownloadFile& target, const S3Progress& progress) {
    S3Request request;
    request.key = key;
    request.target = &target;
    request.progress = &progress;
    return send(request).ok;
}

bool S3Client::copy(const QString& from, const QString& to) {
    S3Request request;
    request.method = "PUT";
    request.key = to;
    request.headers.append("x-amz-copy-source: /" + escaped(m_address.bucket, false) + '/' +
                           escaped(from, true));
    return send(request).ok;
}

bool S3Client::remove(const QString& key) {
    S3Request request;
    request.method = "DELETE";
    request.key = key;
    return send(request).ok;
}

std::optional<std::vector<FtpListEntry>> S3Client::list(const QString& prefix) {
    std::vector<FtpListEntry> entries;
    QString continuation;
    do {
        S3Request request;
        // Parameters in the order of their names, as the signature sorts them.
        if (!continuation.isEmpty())
            request.query = "continuation-token=" + escaped(continuation, false) + '&';
        request.query += "delimiter=%2F&list-type=2&prefix=" + escaped(prefix, false);
        const S3Reply reply = send(request);
        S3ListPage page = parseS3ListPage(reply.body, prefix);
        if (!reply.ok || !page.ok) {
            if (reply.ok)
                m_failure = {reply.status, {}, {}, QStringLiteral("The listing could not be read")};
            return std::nullopt;
        }
        entries.insert(entries.end(), page.entries.begin(), page.entries.end());
        continuation = page.continuation;
    } while (!continuation.isEmpty());
    return entries;
}
