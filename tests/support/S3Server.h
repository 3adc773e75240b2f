#pragma once

#include "FtpServer.h"

// s3rver (from npm, installed once into the build tree) on 127.0.0.1 with one bucket, keys
// S3RVER / S3RVER, behind a proxy that checks each request's signature (s3rver checks only
// that the access key exists).
class S3Server : public ServerProcess {
public:
    // Starts with the bucket empty.
    bool start();
    QString bucket() const { return QStringLiteral("backups"); }
    QString address() const {
        return QStringLiteral("s3+http://127.0.0.1:%1/%2").arg(m_port).arg(bucket());
    }
    QString accessKey() const { return QStringLiteral("S3RVER"); }
    QString secret() const { return QStringLiteral("Secret-Value-9"); }
    // The bucket's keys, sorted, as its storage folder holds them.
    QStringList keys() const;
    // Multipart uploads begun and neither completed nor aborted.
    int openUploads() const;
    // Everything the server printed so far (one line per request).
    QByteArray output();

private:
    QString storage() const { return m_dir.filePath(QStringLiteral("s3/") + bucket()); }
    QByteArray m_output;
};
