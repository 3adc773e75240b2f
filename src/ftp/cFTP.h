#pragma once

#include "ftp/FtpListing.h"
#include "ftp/ServerRefusal.h"

#include <QString>
#include <cstdint>
#include <functional>
#include <memory>

// Error numbers of the FTP client (the platform's object-defined base plus 2001 … 2008).
namespace FtpError {
inline constexpr std::int32_t LogOnFailed = static_cast<std::int32_t>(0x800407D1u);
inline constexpr std::int32_t ChangeDirFailed = static_cast<std::int32_t>(0x800407D2u);
inline constexpr std::int32_t PutOrRenameFailed = static_cast<std::int32_t>(0x800407D3u);
inline constexpr std::int32_t DeleteFailed = static_cast<std::int32_t>(0x800407D4u);
inline constexpr std::int32_t NotConnected = static_cast<std::int32_t>(0x800407D5u);
inline constexpr std::int32_t GetFailed = static_cast<std::int32_t>(0x800407D6u);
inline constexpr std::int32_t LogOnValues = static_cast<std::int32_t>(0x800407D7u);
inline constexpr std::int32_t SessionFailed = static_cast<std::int32_t>(0x800407D8u);
} // namespace FtpError

// Told during each download and upload how many bytes have moved of how many (0 while the total
// is not known). Returning false stops the transfer, which then fails as a broken one does.
using TransferProgress = std::function<bool(qint64 done, qint64 total)>;

// The program's FTP client: one control connection per object, passive mode. Failures are
// either raised as VError or recorded in CurrentError() with a failure result, operation by
// operation, as the callers expect.
class cFTP {
public:
    enum TransferType : std::int32_t { Ascii = 1, Binary = 2 };

    cFTP();
    ~cFTP();
    cFTP(const cFTP&) = delete;
    cFTP& operator=(const cFTP&) = delete;

    QString Host() const;
    void setHost(const QString& sHostName);
    QString User() const;
    void setUser(const QString& sUserName);
    QString Password() const;
    void setPassword(const QString& sPassword);
    // 21 unless set; callers take it from the "Port" setting.
    int Port() const;
    void setPort(int port);
    // Seconds to wait for a connection and the server's greeting (15), and for the reply to
    // QUIT (5); tests that meet a silent server shorten them.
    void setTimeouts(long connectSeconds, long quitReplySeconds);

    // The region object-store requests are signed for ("us-east-1" unless set).
    void setRegion(const QString& region);
    // Object-store uploads larger than `thresholdBytes` go in parts of `partBytes`; by default
    // only those too large for one request (5 GiB), in parts of 64 MiB.
    void setMultipart(qint64 thresholdBytes, qint64 partBytes);
    // True when an upload of this size shows under its name only once it has arrived whole
    // (an object-store multipart upload), so it needs no temporary name.
    bool UploadAppearsWhole(qint64 bytes) const;

    // Where known_hosts and the default key files are: ~/.ssh unless set.
    QString SshFolder() const;
    void setSshFolder(const QString& folder);
    // The one TLS certificate (its SHA-256 fingerprint) accepted instead of the system's trust
    // store; empty: the trust store decides.
    void setTrustedCertificate(const QString& fingerprint);
    // Why the last Connect refused the server's host key or certificate (Reason::None if not).
    const ServerRefusal& LastRefusal() const;
    // Adds the host key that the last Connect refused as unknown to known_hosts. Never replaces
    // a changed key.
    bool AcceptHostKey();

    bool Connected() const;
    bool Connect(const QString& host = QString(), const QString& user = QString(),
                 const QString& password = QString());
    void Disconnect();

    // The absolute folder the server put the user in at log-on ("/" on servers that lock users
    // into their home); empty while not connected.
    QString LogOnFolder() const;
    QString Directory() const;
    void setDirectory(const QString& sDirectory);

    bool GetFile(const QString& ServerFileAndPath, const QString& DestinationFileAndPath,
                 std::int32_t TransferType = Ascii);
    bool PutFile(const QString& LocalFileAndPath, const QString& ServerFileAndPath,
                 std::int32_t TransferType = 0);
    bool RenameFile(const QString& ExistingName, const QString& NewName);
    bool DeleteFile(const QString& ExistingName);
    // True when the server confirms that the file exists; false when it does not, or when it
    // cannot tell.
    bool FileExists(const QString& ServerFileAndPath);
    // Watches GetFile and PutFile from now on; an empty hook stops watching.
    void setTransferProgress(TransferProgress progress);

    // "name@@attributes" joined by "||", in the server's order.
    QString GetDirectoryList(const QString& Directory = QString(),
                             const QString& FilterString = QString());

    // The current folder's entries with sizes and times where the server gives them. Raises
    // VError like GetDirectoryList when the listing fails; records NotConnected.
    std::vector<FtpListEntry> ListEntries();

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

// The run and the explorer get their client from here, so tests can point them at a server.
using FtpFactory = std::function<std::unique_ptr<cFTP>()>;
