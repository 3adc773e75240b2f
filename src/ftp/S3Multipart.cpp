#include "ftp/S3Multipart.h"

#include "ftp/S3Listing.h"

#include <QUrl>
#include <algorithm>

S3Multipart::S3Multipart(S3Client& client, QString key, const S3Progress& progress)
    : m_client(client)
    , m_key(std::move(key))
    , m_progress(progress) {
}

bool S3Multipart::send(FILE* source, qint64 bytes, qint64 partBytes) {
    if (!start())
        return false;
    for (qint64 offset = 0; offset < bytes; offset += partBytes) {
        if (!sendPart(source, offset, std::min(partBytes, bytes - offset), bytes)) {
            abort();
            return false;
        }
    }
    if (!complete()) {
        abort();
        return false;
    }
    return true;
}

bool S3Multipart::start() {
    S3Request request;
    request.method = "POST";
    request.key = m_key;
    request.query = "uploads=";
    request.hasBody = true;
    const S3Reply reply = m_client.send(request);
    m_uploadId = firstS3Element(reply.body, QStringLiteral("UploadId")).toUtf8();
    return reply.ok && !m_uploadId.isEmpty();
}

bool S3Multipart::sendPart(FILE* source, qint64 offset, qint64 length, qint64 total) {
    S3Request request;
    request.method = "PUT";
    request.key = m_key;
    request.query = "partNumber=" + QByteArray::number(qsizetype(m_etags.size()) + 1) +
                    "&uploadId=" + QUrl::toPercentEncoding(QString::fromUtf8(m_uploadId));
    request.source = source;
    request.offset = offset;
    request.length = length;
    request.progress = &m_progress;
    request.progressBase = offset;
    request.progressTotal = total;
    const S3Reply reply = m_client.send(request);
    if (!reply.ok || reply.etag.isEmpty())
        return false;
    m_etags.push_back(reply.etag);
    return true;
}

bool S3Multipart::complete() {
    QByteArray parts = "<CompleteMultipartUpload>";
    for (size_t i = 0; i < m_etags.size(); ++i) {
        parts += "<Part><PartNumber>" + QByteArray::number(qulonglong(i + 1)) +
                 "</PartNumber><ETag>" + QString::fromUtf8(m_etags[i]).toHtmlEscaped().toUtf8() +
                 "</ETag></Part>";
    }
    parts += "</CompleteMultipartUpload>";
    S3Request request;
    request.method = "POST";
    request.key = m_key;
    request.query = "uploadId=" + QUrl::toPercentEncoding(QString::fromUtf8(m_uploadId));
    request.headers.append("Content-Type: application/xml");
    request.body = parts;
    request.hasBody = true;
    return m_client.send(request).ok;
}

void S3Multipart::abort() {
    // The failure told is the one that stopped the upload; the abort only adds what it left.
    const S3Failure cause = m_client.lastFailure();
    S3Request request;
    request.method = "DELETE";
    request.key = m_key;
    request.query = "uploadId=" + QUrl::toPercentEncoding(QString::fromUtf8(m_uploadId));
    const bool dropped = m_client.send(request).ok;
    m_client.setFailure(
        cause, dropped ? QStringLiteral("The parts sent were discarded on the server")
                       : QStringLiteral("The server did not discard the parts sent (%1); they may "
                                        "be left there")
                             .arg(describeS3Failure(m_client.lastFailure(), QString())));
}
