#pragma once

#include <QByteArray>
#include <QString>

// Why an object store turned a request down, read from its error document.
struct S3Failure {
    long status = 0; // the HTTP status, 0 when no answer came
    QString code;    // "AccessDenied", "NoSuchBucket" …; empty when the body named none
    QString message; // the server's own words
    QString told;    // words of our own, when no answer of the server explains it
};

S3Failure parseS3Failure(long status, const QByteArray& body);

// The failure in words a user can act on, naming the bucket where it matters. Never holds a
// key or anything signed with it.
QString describeS3Failure(const S3Failure& failure, const QString& bucket);
