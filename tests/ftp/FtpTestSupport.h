#pragma once

#include "FtpServer.h"
#include "TestFiles.h"
#include "common/Error.h"
#include "ftp/cFTP.h"

#include <optional>

// The error an action raised, if it raised one.
template <typename Action> std::optional<VError> raisedBy(Action&& action) {
    try {
        action();
    } catch (const VError& error) {
        return error;
    }
    return std::nullopt;
}

inline bool logOn(cFTP& ftp, const FtpServer& server) {
    ftp.setPort(server.port());
    return ftp.Connect(server.host(), server.user(), server.password());
}

inline QString hex(std::int32_t number) {
    return QString::number(static_cast<std::uint32_t>(number), 16);
}

// The recorded error as "number description", and a raised one as "number source: description",
// so that one comparison checks all of it.
inline QString recorded() {
    return hex(CurrentError().number) + QLatin1Char(' ') + CurrentError().description;
}
inline QString described(const std::optional<VError>& error) {
    return error ? hex(error->number()) + QLatin1Char(' ') + error->source() +
                       QStringLiteral(": ") + error->description()
                 : QStringLiteral("nothing raised");
}
