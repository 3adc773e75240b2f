#include "ftp/S3Listing.h"

#include <QXmlStreamReader>

namespace {

// A name in the folder, or empty when the key or prefix does not belong there.
QString nameUnder(const QString& key, const QString& prefix, bool folder) {
    if (!key.startsWith(prefix))
        return {};
    QString name = key.mid(prefix.size());
    if (folder && name.endsWith(QLatin1Char('/')))
        name.chop(1);
    if (name.isEmpty() || name.contains(QLatin1Char('/')) || name == QLatin1String(".") ||
        name == QLatin1String(".."))
        return {};
    return name;
}

FtpListEntry readObject(QXmlStreamReader& xml) {
    FtpListEntry entry;
    entry.attributes = FtpAttribute::Normal;
    while (xml.readNextStartElement()) {
        if (xml.name() == QLatin1String("Key"))
            entry.name = xml.readElementText();
        else if (xml.name() == QLatin1String("Size"))
            entry.size = xml.readElementText().toLongLong();
        else if (xml.name() == QLatin1String("LastModified"))
            entry.modified = QDateTime::fromString(xml.readElementText(), Qt::ISODateWithMs);
        else
            xml.skipCurrentElement();
    }
    return entry;
}

QString readPrefix(QXmlStreamReader& xml) {
    QString prefix;
    while (xml.readNextStartElement()) {
        if (xml.name() == QLatin1String("Prefix"))
            prefix = xml.readElementText();
        else
            xml.skipCurrentElement();
    }
    return prefix;
}

} // namespace

S3ListPage parseS3ListPage(const QByteArray& body, const QString& prefix) {
    S3ListPage page;
    QXmlStreamReader xml(body);
    if (!xml.readNextStartElement() || xml.name() != QLatin1String("ListBucketResult"))
        return page;
    bool truncated = false;
    while (xml.readNextStartElement()) {
        if (xml.name() == QLatin1String("Contents")) {
            FtpListEntry entry = readObject(xml);
            entry.name = nameUnder(entry.name, prefix, false);
            if (!entry.name.isEmpty())
                page.entries.push_back(entry);
        } else if (xml.name() == QLatin1String("CommonPrefixes")) {
            const QString name = nameUnder(readPrefix(xml), prefix, true);
            if (!name.isEmpty())
                page.entries.emplace_back(name, FtpAttribute::Folder);
        } else if (xml.name() == QLatin1String("IsTruncated")) {
            truncated = xml.readElementText() == QLatin1String("true");
        } else if (xml.name() == QLatin1String("NextContinuationToken")) {
            page.continuation = xml.readElementText();
        } else {
            xml.skipCurrentElement();
        }
    }
    if (!truncated)
        page.continuation.clear();
    page.ok = !xml.hasError();
    return page;
}

QString firstS3Element(const QByteArray& body, const QString& name) {
    QXmlStreamReader xml(body);
    while (!xml.atEnd()) {
        if (xml.readNext() == QXmlStreamReader::StartElement && xml.name() == name)
            return xml.readElementText();
    }
    return {};
}
