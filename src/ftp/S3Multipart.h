#pragma once

#include "ftp/S3Client.h"

#include <QByteArray>
#include <QString>
#include <cstdio>
#include <vector>

// A file sent in parts. The object appears under its key only when the server completes the
// upload from every part; an upload that fails is aborted, so the server drops the parts it
// holds instead of keeping (and charging for) them.
class S3Multipart {
public:
    S3Multipart(S3Client& client, QString key, const S3Progress& progress);
    bool send(FILE* source, qint64 bytes, qint64 partBytes);

private:
    bool start();
    bool sendPart(FILE* source, qint64 offset, qint64 length, qint64 total);
    bool complete();
    void abort();

    S3Client& m_client;
    QString m_key;
    const S3Progress& m_progress;
    QByteArray m_uploadId;
    std::vector<QByteArray> m_etags;
};
