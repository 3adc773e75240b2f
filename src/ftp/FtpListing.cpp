#include "ftp/FtpListing.h"

#include <QList>
#include <QRegularExpression>
#include <algorithm>
#include <fnmatch.h>
#include <optional>

namespace {

QList<QByteArray> listingLines(const QByteArray& body) {
    QList<QByteArray> lines;
    for (QByteArray line : body.split('\n')) {
        if (line.endsWith('\r'))
            line.chop(1);
        if (!line.isEmpty())
            lines.append(line);
    }
    return lines;
}

bool isDotEntry(const QString& name) {
    return name == QLatin1String(".") || name == QLatin1String("..");
}

// A name from a hostile server could forge entries in the listing text ("||", "@@", and a last
// "@" that runs into the "@@" after it) or, holding a path separator or control character,
// lead a download outside its folder. Such an entry cannot be listed safely.
bool isUnsafeName(const QString& name) {
    if (name.contains(QLatin1String("||")) || name.contains(QLatin1String("@@")) ||
        name.endsWith(QLatin1Char('@')))
        return true;
    return std::any_of(name.begin(), name.end(), [](QChar c) {
        return c == QLatin1Char('/') || c == QLatin1Char('\\') || c.unicode() < 0x20 ||
               (c.unicode() >= 0x7f && c.unicode() <= 0x9f);
    });
}

bool isSkipped(const QString& name) {
    return name.isEmpty() || isDotEntry(name) || isUnsafeName(name);
}

std::int32_t attributesOf(bool folder, bool writable) {
    if (folder)
        return FtpAttribute::Folder | (writable ? 0 : FtpAttribute::ReadOnly);
    return writable ? FtpAttribute::Normal : FtpAttribute::ReadOnly;
}

// "755", "0755" or Python's "0o755".
std::optional<unsigned> parseMode(QByteArray text) {
    if (text.startsWith("0o") || text.startsWith("0O"))
        text.remove(0, 2);
    bool ok = false;
    const unsigned mode = text.toUInt(&ok, 8);
    if (!ok)
        return std::nullopt;
    return mode;
}

// "Mar 15 09:41" (within the last half year) or "Jan 01 2023", as ls writes them.
QDateTime listDate(const QString& month, const QString& day, const QString& timeOrYear) {
    const int m = QStringList{"jan", "feb", "mar", "apr", "may", "jun",
                              "jul", "aug", "sep", "oct", "nov", "dec"}
                      .indexOf(month.toLower()) +
                  1;
    const QDate today = QDate::currentDate();
    if (!timeOrYear.contains(QLatin1Char(':')))
        return QDateTime(QDate(timeOrYear.toInt(), m, day.toInt()), QTime(0, 0));
    QDate date(today.year(), m, day.toInt());
    if (date > today.addDays(1))
        date = date.addYears(-1);
    return QDateTime(date, QTime::fromString(timeOrYear, QStringLiteral("H:mm")));
}

} // namespace

std::vector<FtpListEntry> parseMlsdListing(const QByteArray& body) {
    std::vector<FtpListEntry> entries;
    for (const QByteArray& line : listingLines(body)) {
        // Facts hold no blanks; the name is everything after the first one.
        const qsizetype blank = line.indexOf(' ');
        if (blank < 0)
            continue;
        const QString name = QString::fromUtf8(line.mid(blank + 1));
        QByteArray type;
        std::optional<unsigned> mode;
        std::optional<QByteArray> perm;
        FtpListEntry details;
        for (const QByteArray& fact : line.left(blank).split(';')) {
            const qsizetype eq = fact.indexOf('=');
            if (eq < 0)
                continue;
            const QByteArray key = fact.left(eq).toLower();
            const QByteArray value = fact.mid(eq + 1);
            if (key == "type")
                type = value.toLower();
            else if (key == "unix.mode")
                mode = parseMode(value);
            else if (key == "perm")
                perm = value.toLower();
            else if (key == "size")
                details.size = value.toLongLong();
            else if (key == "modify") {
                // The server's clock in UTC.
                QDateTime utc = QDateTime::fromString(QString::fromLatin1(value.left(14)),
                                                      QStringLiteral("yyyyMMddHHmmss"));
                utc.setTimeSpec(Qt::UTC);
                details.modified = utc.toLocalTime();
            }
        }
        if (type == "cdir" || type == "pdir" || isSkipped(name))
            continue;
        const bool folder = type == "dir";
        // The owner's write bit when the server tells it; else what the server lets us do.
        bool writable = true;
        if (mode)
            writable = (*mode & 0200) != 0;
        else if (perm)
            writable = folder ? (perm->contains('c') || perm->contains('m'))
                              : (perm->contains('w') || perm->contains('a'));
        entries.push_back({name, attributesOf(folder, writable), details.size, details.modified});
    }
    return entries;
}

std::vector<FtpListEntry> parseListListing(const QByteArray& body) {
    static const QRegularExpression unixLine(QStringLiteral(
        R"(^([-dlbcps])([-rwxsStT]{9})\S*\s+\d+\s+(?:\S+\s+){1,2}(\d+)\s+(\w{3})\s+(\d{1,2})\s+([\d:]{4,5}) (.*)$)"));
    static const QRegularExpression dosLine(
        QStringLiteral(R"(^\d{2}-\d{2}-\d{2,4}\s+\d{1,2}:\d{2}(?:[AP]M)?\s+(<DIR>|\d+)\s+(.*)$)"),
        QRegularExpression::CaseInsensitiveOption);

    std::vector<FtpListEntry> entries;
    for (const QByteArray& raw : listingLines(body)) {
        const QString line = QString::fromUtf8(raw);
        if (const auto m = unixLine.match(line); m.hasMatch()) {
            const QChar kind = m.captured(1).at(0);
            QString name = m.captured(7);
            if (kind == QLatin1Char('l')) {
                const qsizetype arrow = name.indexOf(QLatin1String(" -> "));
                if (arrow >= 0)
                    name.truncate(arrow);
            }
            if (isSkipped(name))
                continue;
            const bool writable = m.captured(2).at(1) == QLatin1Char('w');
            entries.push_back({name, attributesOf(kind == QLatin1Char('d'), writable),
                               m.captured(3).toLongLong(),
                               listDate(m.captured(4), m.captured(5), m.captured(6))});
        } else if (const auto d = dosLine.match(line); d.hasMatch()) {
            const QString name = d.captured(2);
            if (isSkipped(name))
                continue;
            entries.push_back({name, attributesOf(d.captured(1).compare(QLatin1String("<DIR>"),
                                                                        Qt::CaseInsensitive) == 0,
                                                  true)});
        }
    }
    return entries;
}

bool matchesListFilter(const QString& name, const QString& filter) {
    if (filter.isEmpty() || filter == QLatin1String("*.*") || filter == QLatin1String("*"))
        return true;
    return fnmatch(filter.toUtf8().constData(), name.toUtf8().constData(), 0) == 0;
}

QString listingText(const std::vector<FtpListEntry>& entries, const QString& filter) {
    QString text;
    for (const FtpListEntry& entry : entries) {
        if (!matchesListFilter(entry.name, filter))
            continue;
        if (!text.isEmpty())
            text += QLatin1String("||");
        text += entry.name + QLatin1String("@@") + QString::number(entry.attributes);
    }
    return text;
}
