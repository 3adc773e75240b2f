#include "ftp/FtpReplyLog.h"

namespace {

// The three-digit code at the start of a reply line, or 0.
int replyCode(const QString& line) {
    if (line.size() < 3)
        return 0;
    for (int i = 0; i < 3; ++i) {
        if (!line.at(i).isDigit())
            return 0;
    }
    return line.left(3).toInt();
}

} // namespace

void FtpReplyLog::clear() {
    m_replies.clear();
    m_partial.clear();
}

void FtpReplyLog::feed(const char* data, std::size_t size) {
    m_partial.append(data, static_cast<qsizetype>(size));
    qsizetype end;
    while ((end = m_partial.indexOf('\n')) >= 0) {
        QByteArray line = m_partial.left(end);
        m_partial.remove(0, end + 1);
        if (line.endsWith('\r'))
            line.chop(1);
        addLine(line);
    }
}

void FtpReplyLog::addLine(const QByteArray& raw) {
    const QString line = QString::fromUtf8(raw);
    const int code = replyCode(line);
    if (m_replies.empty() || m_replies.back().complete) {
        // "123-" opens a reply of several lines that ends with "123 ".
        const bool continues = code != 0 && line.size() > 3 && line.at(3) == QLatin1Char('-');
        m_replies.push_back({code, {line}, !continues});
        return;
    }
    FtpReply& open = m_replies.back();
    open.lines.append(line);
    if (code == open.code && (line.size() == 3 || line.at(3) == QLatin1Char(' ')))
        open.complete = true;
}

const FtpReply* FtpReplyLog::last() const {
    for (auto it = m_replies.rbegin(); it != m_replies.rend(); ++it) {
        if (it->complete)
            return &*it;
    }
    return nullptr;
}

std::optional<QString> FtpReplyLog::refusal() const {
    const FtpReply* reply = last();
    if (!reply || reply->code < 400)
        return std::nullopt;
    return reply->lines.join(QStringLiteral("\r\n"));
}

std::optional<QString> FtpReplyLog::reportedFolder() const {
    for (auto it = m_replies.rbegin(); it != m_replies.rend(); ++it) {
        if (!it->complete || it->code != 257)
            continue;
        const QString& line = it->lines.first();
        const qsizetype open = line.indexOf(QLatin1Char('"'));
        if (open < 0)
            return std::nullopt;
        QString folder;
        for (qsizetype i = open + 1; i < line.size(); ++i) {
            if (line.at(i) != QLatin1Char('"')) {
                folder += line.at(i);
            } else if (i + 1 < line.size() && line.at(i + 1) == QLatin1Char('"')) {
                folder += QLatin1Char('"');
                ++i;
            } else {
                return folder;
            }
        }
        return std::nullopt;
    }
    return std::nullopt;
}
