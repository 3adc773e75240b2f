#include "ftp/S3Error.h"

#include <QXmlStreamReader>
#include <array>

namespace {

struct Known {
    const char* code;
    const char* words;
};

// The failures users meet when setting up a bucket, told the way they would look for a cause.
constexpr std::array KnownFailures{
    Known{"AccessDenied", "The server refused access: the access key may not use the bucket %1 "
                          "this way (AccessDenied)"},
    Known{"NoSuchBucket", "The bucket %1 does not exist on the server (NoSuchBucket)"},
    Known{"SignatureDoesNotMatch", "The server refused the log-on: the secret key does not belong "
                                   "to the access key (SignatureDoesNotMatch)"},
    Known{"InvalidAccessKeyId", "The server refused the log-on: it does not know the access key "
                                "(InvalidAccessKeyId)"},
    Known{"RequestTimeTooSkewed", "The server refused the request because this computer's clock "
                                  "is too far from the server's; set the clock right "
                                  "(RequestTimeTooSkewed)"},
    Known{"AuthorizationHeaderMalformed", "The server refused the log-on: check the Region "
                                          "(AuthorizationHeaderMalformed)"},
};

} // namespace

S3Failure parseS3Failure(long status, const QByteArray& body) {
    S3Failure failure;
    failure.status = status;
    QXmlStreamReader xml(body);
    while (xml.readNextStartElement()) {
        if (xml.name() == QLatin1String("Error"))
            continue;
        if (xml.name() == QLatin1String("Code"))
            failure.code = xml.readElementText();
        else if (xml.name() == QLatin1String("Message"))
            failure.message = xml.readElementText();
        else
            xml.skipCurrentElement();
    }
    // Answers to HEAD carry no body: the status alone says what went wrong.
    if (failure.code.isEmpty() && status == 403)
        failure.code = QStringLiteral("AccessDenied");
    return failure;
}

QString describeS3Failure(const S3Failure& failure, const QString& bucket) {
    if (!failure.told.isEmpty())
        return failure.told;
    for (const Known& known : KnownFailures) {
        if (failure.code == QLatin1String(known.code))
            return QString::fromLatin1(known.words).replace(QLatin1String("%1"), bucket);
    }
    if (failure.status == 0)
        return QStringLiteral("The server did not answer (%1)").arg(failure.message);
    QString text = QStringLiteral("The server answered %1").arg(failure.status);
    if (!failure.code.isEmpty())
        text += QStringLiteral(" %1").arg(failure.code);
    if (!failure.message.isEmpty())
        text += QStringLiteral(": %1").arg(failure.message);
    return text;
}
