#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// A server process on 127.0.0.1 for tests. Its home is a fresh temp folder holding a folder
// "pub" and a file "a.txt". The port is chosen free on the first start and kept on later
// starts, so a restarted server is found where it was. The destructor stops it.
class ServerProcess {
public:
    ServerProcess();
    ~ServerProcess();
    ServerProcess(const ServerProcess&) = delete;
    ServerProcess& operator=(const ServerProcess&) = delete;

    // Ends the server at once, even in the middle of a transfer.
    void stop();
    QString errorString() const { return m_error; }
    QString host() const { return QStringLiteral("127.0.0.1"); }
    int port() const { return m_port; }
    // The local path of a file or folder given relative to the server's home.
    QString pathOf(const QString& relative) const;

protected:
    // Starts the program and waits until what it prints holds `ready`.
    bool launch(const QString& program, const QStringList& arguments, const QByteArray& ready);

    QTemporaryDir m_dir; // the home is its folder "home"
    QProcess m_process;
    int m_port;
    QString m_error;
};

// False, with the reason in error, unless the tool exits with 0.
bool runTool(const QString& program, const QStringList& arguments, QString* error = nullptr,
             QByteArray* output = nullptr);

struct FtpServerOptions {
    // End the server process abruptly once one upload has received this many bytes (0: never),
    // which stops it in the middle of the transfer.
    qint64 stopAfterBytes = 0;
    // Keep only this many bytes of each upload yet confirm it whole, as after a reset (0: all).
    qint64 keepBytes = 0;
    // Without MLSD the server lists with LIST only, as older servers do.
    bool mlsd = true;
    // QUIT goes unanswered, as with a server that hangs.
    bool answerQuit = true;
    // The server's root is the folder above the home, where log-on puts the user.
    bool lockedIn = true;
    // Transfers held to this speed (0: as fast as they go), so a test can act during one.
    qint64 bytesPerSecond = 0;
    // TLS with a self-signed certificate: AUTH TLS (explicit) or from the first byte (implicit).
    enum class Tls { None, Explicit, Implicit } tls = Tls::None;
};

// pyftpdlib, run by Debian's /usr/bin/python3, serving one user with a password.
class FtpServer : public ServerProcess {
public:
    using Options = FtpServerOptions;

    bool start(const Options& options = {});
    QString user() const { return QStringLiteral("vestrel"); }
    QString password() const { return QStringLiteral("Backup-Pass-7"); }
    // Successful log-ons since the first start.
    int logOnCount() const;
    // What the server received since the first start, in order: each command as sent ("TYPE I",
    // "STOR /pub/x", the password as "PASS ***") and "login <user>" after each log-on.
    QStringList commands() const;
    // The SHA-256 fingerprint of the server's certificate, as openssl prints it ("AB:CD:…").
    QString certificateFingerprint() const;
};

class Settings;
// Upload on, to `server` and into its folder "/pub/".
void switchUploadOn(Settings& settings, const FtpServer& server);
