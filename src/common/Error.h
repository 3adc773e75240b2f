#pragma once

#include <QString>
#include <cstdint>
#include <exception>
#include <string>

// The platform's unspecified-failure number, carried by errors of the database and the files.
inline constexpr std::int32_t UnspecifiedErrorNumber = static_cast<std::int32_t>(0x80004005u);

// A numbered error as the program reports it: raised as an exception, or recorded in
// CurrentError() by operations that return a failure result instead.
struct ErrorRecord {
    std::int32_t number = 0;
    QString source;
    QString description;

    bool isSet() const { return number != 0; }
};

class VError : public std::exception {
public:
    VError(std::int32_t number, QString source, QString description);
    explicit VError(ErrorRecord record);

    std::int32_t number() const { return m_record.number; }
    const QString& source() const { return m_record.source; }
    const QString& description() const { return m_record.description; }
    const ErrorRecord& record() const { return m_record; }

    const char* what() const noexcept override { return m_what.c_str(); }

private:
    ErrorRecord m_record;
    std::string m_what;
};

// The record of the most recent recorded error, one per thread.
ErrorRecord& CurrentError();
void clearCurrentError();
void recordCurrentError(std::int32_t number, const QString& description);

// "description (0xHEX)": the form in which errors are shown to the user.
QString errorLineText(const ErrorRecord& error);

// One line on standard error, flushed at once: where the program reports when it has no window
// to say it in.
void writeToStandardError(const QString& line);
