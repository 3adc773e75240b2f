#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <cstddef>
#include <optional>
#include <vector>

struct FtpReply {
    int code = 0;
    QStringList lines;
    bool complete = false;
};

// The server's replies during one request, rebuilt from the lines libcurl passes on, so that
// failures can quote what the server last said.
class FtpReplyLog {
public:
    void clear();
    void feed(const char* data, std::size_t size);

    // The last complete reply, if any.
    const FtpReply* last() const;
    // The text of the last reply when it was a refusal (4xx or 5xx): its lines joined by CR LF.
    std::optional<QString> refusal() const;
    // The folder named by the last "257" reply (PWD), with doubled quotes undone.
    std::optional<QString> reportedFolder() const;

private:
    void addLine(const QByteArray& raw);

    std::vector<FtpReply> m_replies;
    QByteArray m_partial;
};
