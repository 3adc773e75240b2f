#include "ftp/cFTP.h"

#include "common/Error.h"
#include "ftp/CurlResources.h"
#include "ftp/DownloadFile.h"
#include "ftp/FtpListing.h"
#include "ftp/FtpReplyLog.h"
#include "ftp/S3Client.h"
#include "ftp/ServerAddress.h"
#include "ftp/ServerTrust.h"
#include "ftp/TransferLimits.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <cstdio>
#include <curl/curl.h>
#include <new>
#include <optional>

namespace {

const QString NotConnectedText = QStringLiteral("Not Connected to FTP Site");
const QString Crlf = QStringLiteral("\r\n");

// A server that accepts the connection and then says nothing must not hold the caller for ever.
constexpr long ConnectTimeoutSeconds = 15;
using TransferLimits::StallSeconds;
// Nothing waits on the reply to QUIT, so a server that does not give it is not waited for long.
constexpr long QuitReplySeconds = 5;
constexpr long TransferBufferBytes = TransferLimits::BufferBytes;
// Asks for the owner's mode bits in listings; servers that do not know OPTS simply ignore it.
constexpr const char* ListingFacts = "*OPTS MLST type;perm;unix.mode;size;modify;";

// Reply codes of a server that does not know the listing command at all.
bool isUnknownCommand(int code) {
    return code == 500 || code == 502 || code == 504;
}

void initialiseCurlOnce() {
    static const CURLcode result = curl_global_init(CURL_GLOBAL_DEFAULT);
    (void)result;
}

int onDebug(CURL*, curl_infotype type, char* data, size_t size, void* log) {
    if (type == CURLINFO_HEADER_IN) {
        try {
            static_cast<FtpReplyLog*>(log)->feed(data, size);
        } catch (...) {
            // Losing reply text is better than failing the transfer.
        }
    }
    return 0;
}

size_t writeToDownload(char* data, size_t size, size_t count, void* target) {
    return static_cast<DownloadFile*>(target)->write(data, size * count) ? size * count : 0;
}

size_t appendToBuffer(char* data, size_t size, size_t count, void* target) {
    try {
        static_cast<QByteArray*>(target)->append(data, static_cast<qsizetype>(size * count));
    } catch (...) {
        return 0;
    }
    return size * count;
}

size_t readFromFile(char* buffer, size_t size, size_t count, void* source) {
    auto* file = static_cast<FILE*>(source);
    const size_t got = std::fread(buffer, 1, size * count, file);
    if (got == 0 && std::ferror(file))
        return CURL_READFUNC_ABORT;
    return got;
}

// One transfer's hook and which of libcurl's two figures it follows.
struct TransferWatch {
    TransferProgress progress;
    bool upload = false;
};

int onTransferInfo(void* watch, curl_off_t downTotal, curl_off_t downNow, curl_off_t upTotal,
                   curl_off_t upNow) {
    const auto& w = *static_cast<const TransferWatch*>(watch);
    try {
        return (w.upload ? w.progress(upNow, upTotal) : w.progress(downNow, downTotal)) ? 0 : 1;
    } catch (...) {
        // Nothing may be thrown through libcurl: a hook that fails stops the transfer.
        return 1;
    }
}

bool hasControlCharacter(const QString& text) {
    for (const QChar c : text) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            return true;
    }
    return false;
}

// Host names end up inside a URL: anything that would change the URL's meaning is refused.
bool isUsableHost(const QString& host) {
    if (hasControlCharacter(host))
        return false;
    for (const QChar c : host) {
        if (c.isSpace() || QStringLiteral("/\\?#@").contains(c))
            return false;
    }
    return true;
}

// Dots are settled here so that nothing between us and the server reinterprets them.
QStringList normalisedSegments(const QString& absolutePath) {
    QStringList segments;
    for (const QString& part : absolutePath.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        if (part == QLatin1String("."))
            continue;
        if (part == QLatin1String("..")) {
            if (!segments.isEmpty())
                segments.removeLast();
            continue;
        }
        segments.append(part);
    }
    return segments;
}

QString withName(QString message, const QString& name) {
    return message.replace(QLatin1String("%s"), name);
}

// The log-on values cannot change while a connection uses them.
void refuseChangeWhileConnected(bool connected, const QString& source) {
    if (connected)
        throw VError(FtpError::LogOnValues, source,
                     QStringLiteral("You cannot change this property while connected to an FTP "
                                    "server"));
}

// Cleaning up sends QUIT on the kept connection and waits for the reply as long as libcurl's
// closing handle allows. That handle copies the reply time-out only when a transfer starts, so
// a transfer without a URL, which fails before any network use, hands it the short one.
void closeHandle(CURL* curl, long quitReplySeconds) {
    curl_easy_setopt(curl, CURLOPT_SERVER_RESPONSE_TIMEOUT, quitReplySeconds);
    curl_easy_setopt(curl, CURLOPT_URL, static_cast<const char*>(nullptr));
    curl_easy_perform(curl);
    curl_easy_cleanup(curl);
}

size_t discardBody(char*, size_t size, size_t count, void*) {
    return size * count;
}

} // namespace

struct cFTP::Impl {
    CURL* curl = nullptr;
    QString host;
    QString user;
    QString password;
    QString directory;
    int port = 21;
    long connectSeconds = ConnectTimeoutSeconds;
    long quitReplySeconds = QuitReplySeconds;
    // What Host and the port name, settled at each log-on.
    ServerAddress address;
    QString sshFolder = QDir::homePath() + QStringLiteral("/.ssh");
    ServerCheck check;
    bool connected = false;
    // The server's current folder on this connection, always absolute. Every request names its
    // target by absolute path, so a reconnect inside libcurl or a skipped CWD cannot move it.
    QString remoteFolder;
    QString logOnFolder;
    FtpReplyLog replies;
    TransferProgress progress;
    // Set while connected to an object store: every operation then goes through it.
    std::unique_ptr<S3Client> s3;
    QString region = QStringLiteral("us-east-1");
    std::optional<std::pair<qint64, qint64>> multipart;

    ~Impl() {
        if (curl)
            closeHandle(curl, quitReplySeconds);
    }

    void prepare() {
        curl_easy_reset(curl);
        // Replies reach the debug callback only with verbose output on.
        curl_easy_setopt(curl, CURLOPT_VERBOSE, 1L);
        curl_easy_setopt(curl, CURLOPT_DEBUGFUNCTION, onDebug);
        curl_easy_setopt(curl, CURLOPT_DEBUGDATA, &replies);
        curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, address.scheme());
        curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, connectSeconds);
        curl_easy_setopt(curl, CURLOPT_SERVER_RESPONSE_TIMEOUT, StallSeconds);
        curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
        curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, StallSeconds);
        curl_easy_setopt(curl, CURLOPT_TCP_KEEPALIVE, 1L);
        // Without a writer of its own a request would print what it receives (the size a
        // FileExists learns, say) on the program's standard output.
        curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, discardBody);
        curl_easy_setopt(curl, CURLOPT_FTP_FILEMETHOD, static_cast<long>(CURLFTPMETHOD_NOCWD));
        curl_easy_setopt(curl, CURLOPT_PATH_AS_IS, 1L);
        curl_easy_setopt(curl, CURLOPT_BUFFERSIZE, TransferBufferBytes);
        curl_easy_setopt(curl, CURLOPT_UPLOAD_BUFFERSIZE, TransferBufferBytes);
        if (address.usesTls()) {
            applyCertificateCheck(curl, check);
            // Over TLS 1.3 libcurl can close an upload's data connection with the server's
            // session tickets unread; the reset that follows throws away the last bytes sent
            // while the server still confirms the transfer. TLS 1.2 has no such late messages.
            curl_easy_setopt(curl, CURLOPT_SSLVERSION,
                             long(CURL_SSLVERSION_TLSv1_2) | long(CURL_SSLVERSION_MAX_TLSv1_2));
        }
        if (address.kind == ServerAddress::Kind::FtpExplicitTls)
            curl_easy_setopt(curl, CURLOPT_USE_SSL, static_cast<long>(CURLUSESSL_ALL));
        if (address.isSftp()) {
            applyHostKeyCheck(curl, check);
            prepareSshLogOn();
            return;
        }
        // An empty user logs on anonymously, as the desktop library did.
        if (!user.isEmpty()) {
            curl_easy_setopt(curl, CURLOPT_USERNAME, user.toUtf8().constData());
            curl_easy_setopt(curl, CURLOPT_PASSWORD, password.toUtf8().constData());
        }
    }

    // A password logs on with that password alone; without one, the user's agent and the first
    // of the usual key files do, as ssh itself would.
    void prepareSshLogOn() {
        curl_easy_setopt(curl, CURLOPT_USERNAME, user.toUtf8().constData());
        if (!password.isEmpty()) {
            curl_easy_setopt(curl, CURLOPT_PASSWORD, password.toUtf8().constData());
            curl_easy_setopt(curl, CURLOPT_SSH_AUTH_TYPES,
                             static_cast<long>(CURLSSH_AUTH_PASSWORD | CURLSSH_AUTH_KEYBOARD));
            return;
        }
        long types = CURLSSH_AUTH_AGENT;
        for (const char* name : {"id_ed25519", "id_ecdsa", "id_rsa"}) {
            const QString key = sshFolder + QLatin1Char('/') + QLatin1String(name);
            if (!QFileInfo(key).isFile())
                continue;
            types |= CURLSSH_AUTH_PUBLICKEY;
            curl_easy_setopt(curl, CURLOPT_SSH_PRIVATE_KEYFILE, QFile::encodeName(key).constData());
            const QString publicKey = key + QStringLiteral(".pub");
            if (QFileInfo(publicKey).isFile())
                curl_easy_setopt(curl, CURLOPT_SSH_PUBLIC_KEYFILE,
                                 QFile::encodeName(publicKey).constData());
            break;
        }
        curl_easy_setopt(curl, CURLOPT_SSH_AUTH_TYPES, types);
    }

    // Hands the coming transfer's progress to the hook, if one is set. After prepare(), which
    // turns progress reports off again for every other request.
    void watchTransfer(TransferWatch& watch) {
        if (!progress)
            return;
        watch.progress = progress;
        curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
        curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, onTransferInfo);
        curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &watch);
    }

    // The size the server gives for a file: -1 when the file is not there, nothing when the
    // server does not tell sizes. A request without a body asks for the size, which fails for a
    // missing file.
    std::optional<qint64> remoteSize(const QStringList& target) {
        prepare();
        curl_easy_setopt(curl, CURLOPT_URL, url(target, false).constData());
        curl_easy_setopt(curl, CURLOPT_NOBODY, 1L);
        if (perform() != CURLE_OK)
            return -1;
        curl_off_t size = -1;
        curl_easy_getinfo(curl, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &size);
        return size < 0 ? std::nullopt : std::optional<qint64>(size);
    }

    CURLcode perform() {
        replies.clear();
        return curl_easy_perform(curl);
    }

    QByteArray baseUrl() const {
        QByteArray hostPart = address.host.toUtf8();
        if (address.host.contains(QLatin1Char(':')) && !address.host.startsWith(QLatin1Char('[')))
            hostPart = '[' + hostPart + ']';
        return QByteArray(address.scheme()) + "://" + hostPart + ':' +
               QByteArray::number(address.port) + '/';
    }

    // FTP: "%2F" makes the path absolute on the server rather than relative to the log-on
    // folder. SFTP paths after the host are absolute already.
    QByteArray url(const QStringList& segments, bool folder) const {
        QByteArray result = baseUrl() + (address.isSftp() ? "" : "%2F");
        for (qsizetype i = 0; i < segments.size(); ++i) {
            if (i > 0)
                result += '/';
            const QByteArray raw = segments[i].toUtf8();
            char* escaped = curl_easy_escape(curl, raw.constData(), static_cast<int>(raw.size()));
            if (!escaped)
                throw std::bad_alloc();
            result += escaped;
            curl_free(escaped);
        }
        if (folder && !segments.isEmpty())
            result += '/';
        return result;
    }

    std::optional<QStringList> resolve(const QString& name) const {
        if (hasControlCharacter(name))
            return std::nullopt;
        return normalisedSegments(
            name.startsWith(QLatin1Char('/')) ? name : remoteFolder + QLatin1Char('/') + name);
    }

    // A file needs a name: an empty one would turn a transfer into a listing of the folder.
    std::optional<QStringList> resolveFile(const QString& name) const {
        auto segments = resolve(name);
        if (!segments || segments->isEmpty())
            return std::nullopt;
        return segments;
    }

    static QByteArray commandPath(const QStringList& segments) {
        return '/' + segments.join(QLatin1Char('/')).toUtf8();
    }

    // SFTP commands take their paths in quotes, with quotes and backslashes escaped.
    static QByteArray quotedPath(const QStringList& segments) {
        QByteArray path = commandPath(segments);
        path.replace('\\', "\\\\").replace('"', "\\\"");
        return '"' + path + '"';
    }

    QByteArray renameCommand(const QStringList& from, const QStringList& to) const {
        if (address.isSftp())
            return "rename " + quotedPath(from) + ' ' + quotedPath(to);
        return {};
    }

    // Message, CR LF, and when the server refused with a reply, that reply and CR LF.
    QString describe(const QString& message) const {
        QString text = message + Crlf;
        if (check.refusal.reason != ServerRefusal::Reason::None)
            return text + refusalText(check) + Crlf;
        if (const auto reply = replies.refusal()) {
            QString shown = *reply;
            // Servers that echo what they were sent must not leak the password.
            if (!password.isEmpty())
                shown.replace(password, QStringLiteral("********"));
            text += shown + Crlf;
        }
        return text;
    }

    CURLcode runCommands(const QList<QByteArray>& commands) {
        CurlStringList list;
        for (const QByteArray& command : commands)
            list.append(command);
        prepare();
        curl_easy_setopt(curl, CURLOPT_URL, baseUrl().constData());
        curl_easy_setopt(curl, CURLOPT_NOBODY, 1L);
        curl_easy_setopt(curl, CURLOPT_QUOTE, list.get());
        const CURLcode result = perform();
        curl_easy_setopt(curl, CURLOPT_QUOTE, nullptr);
        return result;
    }

    // Every operation but the listing starts afresh and needs a connection.
    Impl& startOperation(const QString& source) {
        clearCurrentError();
        if (!connected)
            throw VError(FtpError::NotConnected, source, NotConnectedText);
        return *this;
    }

    void remoteChDir(QString folder) {
        startOperation(QStringLiteral("KivoFTP::RemoteChDir"));
        folder.replace(QLatin1Char('\\'), QLatin1Char('/'));
        if (folder.isEmpty())
            return;
        const QString failure =
            withName(QStringLiteral(
                         "Cannot Change Directory to %s. It either doesn't exist, or is protected"),
                     folder);
        const auto target = resolve(folder);
        if (!target) {
            recordCurrentError(FtpError::ChangeDirFailed, failure);
            return;
        }
        if (s3) {
            // Folders of an object store are key prefixes: there is nothing to enter.
            remoteFolder = QString::fromUtf8(commandPath(*target));
            return;
        }
        if (address.isSftp()) {
            // SFTP has no current folder on the server: a folder that can be listed is entered.
            QByteArray ignored;
            if (fetchFolder(*target, ignored) != CURLE_OK) {
                recordCurrentError(FtpError::ChangeDirFailed, failure);
                return;
            }
            remoteFolder = QString::fromUtf8(commandPath(*target));
            return;
        }
        // Always asked of the server, so a folder removed meanwhile is noticed.
        if (runCommands({"CWD " + commandPath(*target), "*PWD"}) != CURLE_OK) {
            recordCurrentError(FtpError::ChangeDirFailed, failure);
            return;
        }
        const auto reported = replies.reportedFolder();
        remoteFolder = reported && reported->startsWith(QLatin1Char('/'))
                           ? *reported
                           : QString::fromUtf8(commandPath(*target));
    }

    CURLcode fetchFolder(const QStringList& segments, QByteArray& body) {
        prepare();
        curl_easy_setopt(curl, CURLOPT_URL, url(segments, true).constData());
        curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, appendToBuffer);
        curl_easy_setopt(curl, CURLOPT_WRITEDATA, &body);
        body.clear();
        return perform();
    }

    CURLcode fetchListing(const std::optional<QByteArray>& customCommand, QByteArray& body) {
        CurlStringList commands;
        prepare();
        if (customCommand) {
            commands.append(ListingFacts);
            curl_easy_setopt(curl, CURLOPT_QUOTE, commands.get());
            curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, customCommand->constData());
        }
        curl_easy_setopt(curl, CURLOPT_URL,
                         url(normalisedSegments(remoteFolder), true).constData());
        curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, appendToBuffer);
        curl_easy_setopt(curl, CURLOPT_WRITEDATA, &body);
        body.clear();
        const CURLcode result = perform();
        curl_easy_setopt(curl, CURLOPT_QUOTE, nullptr);
        return result;
    }

    static QString s3Key(const QStringList& segments) { return segments.join(QLatin1Char('/')); }
    static QString s3Prefix(const QStringList& segments) {
        return segments.isEmpty() ? QString() : s3Key(segments) + QLatin1Char('/');
    }

    // The bucket's first key proves the keys, the region and the bucket; the bucket's root is
    // the log-on folder, and the "Path in FTP" prefix is a folder below it.
    bool connectS3(const QString& failure) {
        if (address.bucket.isEmpty() || address.bucket.contains(QLatin1Char('/'))) {
            recordCurrentError(FtpError::LogOnFailed,
                               failure + Crlf +
                                   QStringLiteral("The address names no bucket: write "
                                                  "s3://host/bucket") +
                                   Crlf);
            return false;
        }
        s3 = std::make_unique<S3Client>(address,
                                        S3Credentials{user, password,
                                                      region.trimmed().isEmpty()
                                                          ? QStringLiteral("us-east-1")
                                                          : region.trimmed()},
                                        connectSeconds);
        if (multipart)
            s3->setMultipart(multipart->first, multipart->second);
        if (!s3->checkBucket()) {
            recordCurrentError(FtpError::LogOnFailed, failure + Crlf + s3->lastProblem() + Crlf);
            s3.reset();
            return false;
        }
        remoteFolder = QStringLiteral("/");
        logOnFolder = remoteFolder;
        directory.clear();
        connected = true;
        return true;
    }

    // Raises the library's code when the listing fails; other failures reach the caller.
    std::vector<FtpListEntry> listCurrent() {
        QByteArray body;
        CURLcode result = CURLE_OK;
        std::vector<FtpListEntry> entries;
        if (s3) {
            const auto listed = s3->list(s3Prefix(normalisedSegments(remoteFolder)));
            if (!listed)
                throw VError(FtpError::GetFailed, QStringLiteral("cFTP::GetDirectoryList"),
                             s3->lastProblem() + QStringLiteral(". Error looking at directory "));
            return *listed;
        }
        if (address.isSftp()) {
            result = fetchFolder(normalisedSegments(remoteFolder), body);
            if (result == CURLE_OK)
                entries = parseListListing(body);
        } else if (result = fetchListing(QByteArray("MLSD"), body); result == CURLE_OK) {
            entries = parseMlsdListing(body);
        } else if (const FtpReply* last = replies.last(); last && isUnknownCommand(last->code)) {
            result = fetchListing(std::nullopt, body);
            if (result == CURLE_OK)
                entries = parseListListing(body);
        }
        if (result != CURLE_OK)
            throw VError(static_cast<std::int32_t>(result),
                         QStringLiteral("cFTP::GetDirectoryList"),
                         QStringLiteral("Error looking at directory "));
        return entries;
    }
};

cFTP::cFTP()
    : m_impl(std::make_unique<Impl>()) {
    initialiseCurlOnce();
    m_impl->curl = curl_easy_init();
    if (!m_impl->curl)
        throw VError(FtpError::SessionFailed, QStringLiteral("KivoFTP::Class_Initialise"),
                     QStringLiteral("Cannot get Connection to WinInet.dll !"));
}

cFTP::~cFTP() = default;

QString cFTP::Host() const {
    return m_impl->host;
}

void cFTP::setHost(const QString& sHostName) {
    refuseChangeWhileConnected(m_impl->connected, QStringLiteral("MelnoFTP:Host_Let"));
    m_impl->host = sHostName;
}

QString cFTP::User() const {
    return m_impl->user;
}

void cFTP::setUser(const QString& sUserName) {
    refuseChangeWhileConnected(m_impl->connected, QStringLiteral("KivoFTP::User_Let"));
    m_impl->user = sUserName;
}

QString cFTP::Password() const {
    return m_impl->password;
}

void cFTP::setPassword(const QString& sPassword) {
    refuseChangeWhileConnected(m_impl->connected, QStringLiteral("KivoFTP::Password_Let"));
    m_impl->password = sPassword;
}

void cFTP::setTimeouts(long connectSeconds, long quitReplySeconds) {
    m_impl->connectSeconds = connectSeconds;
    m_impl->quitReplySeconds = quitReplySeconds;
}

int cFTP::Port() const {
    return m_impl->port;
}

void cFTP::setPort(int port) {
    refuseChangeWhileConnected(m_impl->connected, QStringLiteral("KivoFTP::Port_Let"));
    m_impl->port = port >= 1 && port <= 65535 ? port : 21;
}

QString cFTP::SshFolder() const {
    return m_impl->sshFolder;
}

void cFTP::setRegion(const QString& region) {
    refuseChangeWhileConnected(m_impl->connected, QStringLiteral("cFTP::Region_Let"));
    m_impl->region = region;
}

void cFTP::setMultipart(qint64 thresholdBytes, qint64 partBytes) {
    m_impl->multipart = std::make_pair(thresholdBytes, partBytes);
    if (m_impl->s3)
        m_impl->s3->setMultipart(thresholdBytes, partBytes);
}

bool cFTP::UploadAppearsWhole(qint64 bytes) const {
    return m_impl->s3 && m_impl->s3->usesMultipart(bytes);
}

void cFTP::setSshFolder(const QString& folder) {
    m_impl->sshFolder = folder;
}

void cFTP::setTrustedCertificate(const QString& fingerprint) {
    m_impl->check.trustedCertificate = fingerprint.trimmed();
}

const ServerRefusal& cFTP::LastRefusal() const {
    return m_impl->check.refusal;
}

bool cFTP::AcceptHostKey() {
    const ServerCheck& check = m_impl->check;
    // A changed key is never replaced from here: the user removes the old one knowingly.
    return check.refusal.reason == ServerRefusal::Reason::UnknownHostKey &&
           addKnownHost(check.knownHostsPath, check.refusal.knownHostsLine);
}

bool cFTP::Connected() const {
    return m_impl->connected;
}

bool cFTP::Connect(const QString& host, const QString& user, const QString& password) {
    clearCurrentError();
    Impl& d = *m_impl;
    if (d.connected) {
        recordCurrentError(FtpError::LogOnValues,
                           QStringLiteral("You are already connected to FTP Server ") + d.host);
        return false;
    }
    if (!host.isEmpty())
        d.host = host;
    if (!user.isEmpty())
        d.user = user;
    if (!password.isEmpty())
        d.password = password;
    if (d.host.isEmpty()) {
        recordCurrentError(FtpError::LogOnValues, QStringLiteral("No Host Address Specified!"));
        return false;
    }
    const QString failure =
        withName(QStringLiteral("Cannot Connect to %s using User and Password Parameters"), d.host);
    try {
        if (!d.curl)
            d.curl = curl_easy_init();
        d.address = parseServerAddress(d.host, d.port);
        d.check.host = d.address.host;
        d.check.port = d.address.port;
        d.check.knownHostsPath = d.sshFolder + QStringLiteral("/known_hosts");
        d.check.refusal = {};
        d.check.chainBroken = false;
        if (!d.curl || d.address.host.isEmpty() || !isUsableHost(d.address.host)) {
            recordCurrentError(FtpError::LogOnFailed, failure + Crlf);
            return false;
        }
        if (d.address.isS3())
            return d.connectS3(failure);
        // Logging on to the root and transferring nothing proves the user and password.
        d.prepare();
        curl_easy_setopt(d.curl, CURLOPT_URL, d.baseUrl().constData());
        curl_easy_setopt(d.curl, CURLOPT_NOBODY, 1L);
        curl_easy_setopt(d.curl, CURLOPT_FRESH_CONNECT, 1L);
        if (d.perform() != CURLE_OK) {
            recordCurrentError(FtpError::LogOnFailed, d.describe(failure));
            return false;
        }
        d.check.refusal = {};
        char* entryPath = nullptr;
        curl_easy_getinfo(d.curl, CURLINFO_FTP_ENTRY_PATH, &entryPath);
        const QString entry = entryPath ? QString::fromUtf8(entryPath) : QString();
        d.remoteFolder = entry.startsWith(QLatin1Char('/')) ? entry : QStringLiteral("/");
        d.logOnFolder = d.remoteFolder;
        d.directory.clear();
        d.connected = true;
        return true;
    } catch (...) {
        return false;
    }
}

void cFTP::Disconnect() {
    Impl& d = *m_impl;
    if (!d.connected)
        throw VError(FtpError::NotConnected, QStringLiteral("KivoFTP::Disconnect"),
                     NotConnectedText);
    // Cleaning up the handle is libcurl's only way to close (QUIT) the kept connection.
    if (d.curl)
        closeHandle(d.curl, d.quitReplySeconds);
    d.curl = curl_easy_init();
    d.s3.reset();
    d.connected = false;
    d.remoteFolder.clear();
    d.host.clear();
    d.user.clear();
    d.password.clear();
    d.directory.clear();
}

void cFTP::setTransferProgress(TransferProgress progress) {
    m_impl->progress = std::move(progress);
}

QString cFTP::LogOnFolder() const {
    return m_impl->connected ? m_impl->logOnFolder : QString();
}

std::vector<FtpListEntry> cFTP::ListEntries() {
    clearCurrentError();
    if (!m_impl->connected) {
        recordCurrentError(FtpError::NotConnected, NotConnectedText);
        return {};
    }
    try {
        return m_impl->listCurrent();
    } catch (const VError& error) {
        throw VError(error.number(), error.source(), error.description() + m_impl->remoteFolder);
    }
}

QString cFTP::Directory() const {
    return m_impl->directory;
}

void cFTP::setDirectory(const QString& sDirectory) {
    m_impl->startOperation(QStringLiteral("KivoFTP::Directory_Let"));
    try {
        m_impl->remoteChDir(sDirectory);
    } catch (const VError&) {
        throw;
    } catch (const std::exception& e) {
        recordCurrentError(FtpError::ChangeDirFailed, QString::fromLocal8Bit(e.what()));
        return;
    }
    if (CurrentError().number == 0)
        m_impl->directory = sDirectory;
}

bool cFTP::GetFile(const QString& ServerFileAndPath, const QString& DestinationFileAndPath,
                   std::int32_t TransferType) {
    Impl& d = m_impl->startOperation(QStringLiteral("KivoFTP::GetFile"));
    const QString failure =
        withName(QStringLiteral("Couldn't Get File %s from Server"), ServerFileAndPath);
    try {
        const auto source = d.resolveFile(ServerFileAndPath);
        DownloadFile target(DestinationFileAndPath);
        if (!source || !target.open()) {
            recordCurrentError(FtpError::GetFailed, failure);
            return false;
        }
        if (d.s3) {
            if (d.s3->get(Impl::s3Key(*source), target, d.progress) && target.commit())
                return true;
            target.discard();
            recordCurrentError(FtpError::GetFailed, failure + Crlf + d.s3->lastProblem());
            return false;
        }
        d.prepare();
        curl_easy_setopt(d.curl, CURLOPT_URL, d.url(*source, false).constData());
        curl_easy_setopt(d.curl, CURLOPT_TRANSFERTEXT, (TransferType & 3) == Ascii ? 1L : 0L);
        curl_easy_setopt(d.curl, CURLOPT_WRITEFUNCTION, writeToDownload);
        // A failed download quotes no reply, and over TLS the verbose trace of every record
        // costs a third of the speed.
        curl_easy_setopt(d.curl, CURLOPT_VERBOSE, 0L);
        curl_easy_setopt(d.curl, CURLOPT_WRITEDATA, &target);
        TransferWatch watch;
        d.watchTransfer(watch);
        if (d.perform() != CURLE_OK || !target.commit()) {
            target.discard();
            recordCurrentError(FtpError::GetFailed, failure);
            return false;
        }
        return true;
    } catch (const std::exception& e) {
        throw VError(FtpError::GetFailed, QStringLiteral("cFTP::GetFile"),
                     QString::fromLocal8Bit(e.what()));
    }
}

bool cFTP::PutFile(const QString& LocalFileAndPath, const QString& ServerFileAndPath,
                   std::int32_t TransferType) {
    Impl& d = m_impl->startOperation(QStringLiteral("KivoFTP::PutFile"));
    try {
        d.replies.clear();
        const QString failure =
            withName(QStringLiteral("Couldn't Put File %s on Server"), ServerFileAndPath);
        const auto target = d.resolveFile(ServerFileAndPath);
        const QFileInfo local(LocalFileAndPath);
        UploadSource source(LocalFileAndPath);
        if (!target || !local.isFile() || !source.get()) {
            recordCurrentError(FtpError::PutOrRenameFailed, d.describe(failure));
            return false;
        }
        // Object stores keep bytes as sent: there is no text mode.
        if (d.s3) {
            if (d.s3->put(Impl::s3Key(*target), LocalFileAndPath, d.progress))
                return true;
            recordCurrentError(FtpError::PutOrRenameFailed, failure + Crlf + d.s3->lastProblem());
            return false;
        }
        const bool ascii = (TransferType & 3) == Ascii;
        d.prepare();
        curl_easy_setopt(d.curl, CURLOPT_URL, d.url(*target, false).constData());
        curl_easy_setopt(d.curl, CURLOPT_UPLOAD, 1L);
        curl_easy_setopt(d.curl, CURLOPT_TRANSFERTEXT, ascii ? 1L : 0L);
        curl_easy_setopt(d.curl, CURLOPT_READFUNCTION, readFromFile);
        curl_easy_setopt(d.curl, CURLOPT_READDATA, source.get());
        TransferWatch watch{TransferProgress(), true};
        d.watchTransfer(watch);
        // Line-end conversion changes the byte count, so the size is only checked in binary.
        if (!ascii)
            curl_easy_setopt(d.curl, CURLOPT_INFILESIZE_LARGE,
                             static_cast<curl_off_t>(local.size()));
        if (d.perform() != CURLE_OK) {
            recordCurrentError(FtpError::PutOrRenameFailed, d.describe(failure));
            return false;
        }
        // A confirmed upload can still be short (a connection reset loses what the server had
        // not read yet): what the server holds must be the whole file.
        const std::optional<qint64> held = ascii ? std::nullopt : d.remoteSize(*target);
        if (held && *held != local.size()) {
            const QString shortBy = *held < 0 ? QString()
                                              : QStringLiteral("The server holds %1 of %2 bytes")
                                                    .arg(*held)
                                                    .arg(local.size());
            recordCurrentError(FtpError::PutOrRenameFailed, d.describe(failure) + shortBy);
            return false;
        }
        return true;
    } catch (...) {
        return false;
    }
}

bool cFTP::RenameFile(const QString& ExistingName, const QString& NewName) {
    Impl& d = m_impl->startOperation(QStringLiteral("KivoFTP::RenameFile"));
    const QString failure = withName(QStringLiteral("Couldn't Rename File %s"), ExistingName);
    try {
        d.replies.clear();
        const auto from = d.resolveFile(ExistingName);
        const auto to = d.resolveFile(NewName);
        if (d.s3) {
            // An object store renames nothing: the copy is made on the server, then the original
            // goes.
            if (from && to && d.s3->copy(Impl::s3Key(*from), Impl::s3Key(*to)) &&
                d.s3->remove(Impl::s3Key(*from)))
                return true;
            throw VError(FtpError::PutOrRenameFailed, QStringLiteral("KivoFTP::RenameFile"),
                         failure + Crlf + (from && to ? d.s3->lastProblem() : QString()));
        }
        const QList<QByteArray> commands =
            !from || !to         ? QList<QByteArray>()
            : d.address.isSftp() ? QList<QByteArray>{d.renameCommand(*from, *to)}
                                 : QList<QByteArray>{"RNFR " + Impl::commandPath(*from),
                                                     "RNTO " + Impl::commandPath(*to)};
        if (commands.isEmpty() || d.runCommands(commands) != CURLE_OK)
            throw VError(FtpError::PutOrRenameFailed, QStringLiteral("KivoFTP::RenameFile"),
                         d.describe(failure));
        return true;
    } catch (const VError&) {
        throw;
    } catch (const std::exception& e) {
        throw VError(UnspecifiedErrorNumber, QStringLiteral("cFTP::RenameFile"),
                     QString::fromLocal8Bit(e.what()));
    }
}

bool cFTP::DeleteFile(const QString& ExistingName) {
    Impl& d = m_impl->startOperation(QStringLiteral("KivoFTP::DeleteFile"));
    try {
        const auto target = d.resolveFile(ExistingName);
        if (d.s3) {
            // Deleting a missing key succeeds on an object store; here it fails, as over FTP.
            const QString key = target ? Impl::s3Key(*target) : QString();
            if (target && d.s3->size(key).value_or(-1) >= 0 && d.s3->remove(key))
                return true;
            recordCurrentError(
                FtpError::DeleteFailed,
                withName(QStringLiteral("Couldn't Delete File %s from Server"), ExistingName) +
                    (target ? Crlf + d.s3->lastProblem() : QString()));
            return false;
        }
        const QByteArray command = !target              ? QByteArray()
                                   : d.address.isSftp() ? "rm " + Impl::quotedPath(*target)
                                                        : "DELE " + Impl::commandPath(*target);
        if (command.isEmpty() || d.runCommands({command}) != CURLE_OK) {
            recordCurrentError(
                FtpError::DeleteFailed,
                withName(QStringLiteral("Couldn't Delete File %s from Server"), ExistingName));
            return false;
        }
        return true;
    } catch (const std::exception& e) {
        throw VError(UnspecifiedErrorNumber, QStringLiteral("cFTP::DeleteFile"),
                     QString::fromLocal8Bit(e.what()));
    }
}

bool cFTP::FileExists(const QString& ServerFileAndPath) {
    Impl& d = m_impl->startOperation(QStringLiteral("KivoFTP::FileExists"));
    const auto target = d.resolveFile(ServerFileAndPath);
    if (target && d.s3)
        return d.s3->size(Impl::s3Key(*target)).value_or(-1) >= 0;
    return target && d.remoteSize(*target) != -1;
}

QString cFTP::GetDirectoryList(const QString& Directory, const QString& FilterString) {
    clearCurrentError();
    Impl& d = *m_impl;
    if (!d.connected) {
        recordCurrentError(FtpError::NotConnected, NotConnectedText);
        return QString();
    }
    // A folder that cannot be entered is recorded and the current folder is listed instead.
    if (!Directory.isEmpty()) {
        try {
            d.remoteChDir(Directory);
        } catch (const VError&) {
            throw;
        } catch (const std::exception& e) {
            recordCurrentError(FtpError::ChangeDirFailed, QString::fromLocal8Bit(e.what()));
        }
    }
    const QString filter = FilterString.isEmpty() ? QStringLiteral("*.*") : FilterString;
    std::vector<FtpListEntry> entries;
    try {
        entries = d.listCurrent();
    } catch (const VError& error) {
        throw VError(error.number(), error.source(),
                     error.description() + Directory + QLatin1Char('\\') + FilterString);
    } catch (...) {
        return QString();
    }
    const QString text = listingText(entries, filter);
    // Nothing to list ends like the desktop library's "no more files" before the first entry,
    // which leaves an error from entering the folder in place; a listing with entries clears it.
    if (!text.isEmpty())
        clearCurrentError();
    return text;
}
