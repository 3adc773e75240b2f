#include "ftp/ServerTrust.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <openssl/ssl.h>
#include <openssl/x509.h>

namespace {

QString sshFingerprint(const QByteArray& blob) {
    QByteArray hash = QCryptographicHash::hash(blob, QCryptographicHash::Sha256).toBase64();
    while (hash.endsWith('='))
        hash.chop(1);
    return QStringLiteral("SHA256:") + QString::fromLatin1(hash);
}

// The key type is the first field of the key's wire form, e.g. "ssh-ed25519".
QByteArray keyTypeOf(const QByteArray& blob) {
    if (blob.size() < 4)
        return {};
    const auto* b = reinterpret_cast<const unsigned char*>(blob.constData());
    const quint32 length =
        (quint32(b[0]) << 24) | (quint32(b[1]) << 16) | (quint32(b[2]) << 8) | b[3];
    if (length == 0 || length > 64 || length + 4 > quint32(blob.size()))
        return {};
    return blob.mid(4, length);
}

QString hostPattern(const ServerCheck& check) {
    return check.port == 22 ? check.host
                            : QStringLiteral("[%1]:%2").arg(check.host).arg(check.port);
}

int onHostKey(CURL*, const curl_khkey*, const curl_khkey* found, curl_khmatch match, void* data) {
    auto& check = *static_cast<ServerCheck*>(data);
    if (match == CURLKHMATCH_OK)
        return CURLKHSTAT_FINE;
    try {
        const QByteArray blob = found->len > 0
                                    ? QByteArray(found->key, static_cast<qsizetype>(found->len))
                                    : QByteArray::fromBase64(QByteArray(found->key));
        check.refusal.reason = match == CURLKHMATCH_MISMATCH
                                   ? ServerRefusal::Reason::ChangedHostKey
                                   : ServerRefusal::Reason::UnknownHostKey;
        check.refusal.fingerprint = sshFingerprint(blob);
        const QByteArray type = keyTypeOf(blob);
        check.refusal.knownHostsLine =
            type.isEmpty() ? QString()
                           : hostPattern(check) + QLatin1Char(' ') + QString::fromLatin1(type) +
                                 QLatin1Char(' ') + QString::fromLatin1(blob.toBase64());
    } catch (...) {
        // Refused all the same; only the fingerprint is missing from the text.
    }
    return CURLKHSTAT_REJECT;
}

QString certificateFingerprint(X509* certificate) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (!X509_digest(certificate, EVP_sha256(), digest, &length))
        return {};
    return QString::fromLatin1(
        QByteArray(reinterpret_cast<const char*>(digest), static_cast<qsizetype>(length))
            .toHex(':')
            .toUpper());
}

int checkIndex() {
    static const int index = SSL_CTX_get_ex_new_index(0, nullptr, nullptr, nullptr, nullptr);
    return index;
}

// The chain is judged as a whole at the server's own certificate (depth 0), which OpenSSL
// visits last: with a trusted fingerprint only that certificate passes, else the system's
// verdict stands. The fingerprint of a refused certificate is kept for the refusal text.
int onVerify(int preverified, X509_STORE_CTX* store) {
    auto* ssl =
        static_cast<SSL*>(X509_STORE_CTX_get_ex_data(store, SSL_get_ex_data_X509_STORE_CTX_idx()));
    auto* check =
        ssl ? static_cast<ServerCheck*>(SSL_CTX_get_ex_data(SSL_get_SSL_CTX(ssl), checkIndex()))
            : nullptr;
    if (!check)
        return preverified;
    if (X509_STORE_CTX_get_error_depth(store) != 0) {
        check->chainBroken = check->chainBroken || !preverified;
        return 1;
    }
    try {
        const QString fingerprint = certificateFingerprint(X509_STORE_CTX_get_current_cert(store));
        if (!check->trustedCertificate.isEmpty()) {
            if (!fingerprint.isEmpty() && sameFingerprint(fingerprint, check->trustedCertificate)) {
                X509_STORE_CTX_set_error(store, X509_V_OK);
                return 1;
            }
        } else if (preverified && !check->chainBroken) {
            return 1;
        }
        check->refusal.reason = ServerRefusal::Reason::UntrustedCertificate;
        check->refusal.fingerprint = fingerprint;
        check->refusal.otherThanTrusted = !check->trustedCertificate.isEmpty();
    } catch (...) {
    }
    return 0;
}

CURLcode onSslContext(CURL*, void* context, void* data) {
    auto* ctx = static_cast<SSL_CTX*>(context);
    if (checkIndex() < 0 || !SSL_CTX_set_ex_data(ctx, checkIndex(), data))
        return CURLE_SSL_CERTPROBLEM;
    SSL_CTX_set_verify(ctx, SSL_VERIFY_PEER, onVerify);
    return CURLE_OK;
}

} // namespace

void applyHostKeyCheck(CURL* curl, ServerCheck& check) {
    curl_easy_setopt(curl, CURLOPT_SSH_KNOWNHOSTS,
                     QFile::encodeName(check.knownHostsPath).constData());
    curl_easy_setopt(curl, CURLOPT_SSH_KEYFUNCTION, onHostKey);
    curl_easy_setopt(curl, CURLOPT_SSH_KEYDATA, &check);
}

void applyCertificateCheck(CURL* curl, ServerCheck& check) {
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L);
    // A trusted certificate is known by its fingerprint, not by the name it was made for.
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, check.trustedCertificate.isEmpty() ? 2L : 0L);
    curl_easy_setopt(curl, CURLOPT_SSL_CTX_FUNCTION, onSslContext);
    curl_easy_setopt(curl, CURLOPT_SSL_CTX_DATA, &check);
}

QString refusalText(const ServerCheck& check) {
    const ServerRefusal& r = check.refusal;
    switch (r.reason) {
    case ServerRefusal::Reason::UnknownHostKey:
        return QStringLiteral(
                   "The host key of %1 (%2) is not in %3, so it is not trusted. To accept "
                   "it, open the FTP Explorer, check the fingerprint and answer Yes.")
            .arg(check.host, r.fingerprint, check.knownHostsPath);
    case ServerRefusal::Reason::ChangedHostKey:
        return QStringLiteral("WARNING: the host key of %1 has CHANGED (now %2) and does not match "
                              "%3; it was refused. Someone may be listening in. If the server's "
                              "key was changed on purpose, remove the old one with "
                              "ssh-keygen -R \"%4\" -f \"%3\".")
            .arg(check.host, r.fingerprint, check.knownHostsPath, hostPattern(check));
    case ServerRefusal::Reason::UntrustedCertificate:
        if (r.otherThanTrusted)
            return QStringLiteral("The certificate of %1 (SHA-256 %2) is not the one trusted in "
                                  "the options; it was refused. To accept it, open the FTP "
                                  "Explorer, check the fingerprint and answer Yes.")
                .arg(check.host, r.fingerprint);
        return QStringLiteral("The certificate of %1 (SHA-256 %2) is not trusted by this system "
                              "(self-signed or unknown issuer); it was refused. To accept it, "
                              "open the FTP Explorer, check the fingerprint and answer Yes.")
            .arg(check.host, r.fingerprint);
    case ServerRefusal::Reason::None:
        break;
    }
    return {};
}

bool addKnownHost(const QString& knownHostsPath, const QString& line) {
    if (line.isEmpty())
        return false;
    const QString folder = QFileInfo(knownHostsPath).absolutePath();
    if (!QFileInfo::exists(folder)) {
        if (!QDir().mkpath(folder))
            return false;
        QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                          QFileDevice::ExeOwner);
    }
    QFile file(knownHostsPath);
    if (!file.open(QIODevice::ReadWrite | QIODevice::Append))
        return false;
    QByteArray text = line.toUtf8() + '\n';
    if (file.size() > 0) {
        // A last line without its line end would swallow ours.
        file.seek(file.size() - 1);
        char last = '\n';
        file.getChar(&last);
        if (last != '\n')
            text.prepend('\n');
    }
    return file.write(text) == text.size() && file.flush();
}

bool sameFingerprint(const QString& a, const QString& b) {
    auto bare = [](QString text) {
        text.remove(QLatin1Char(':'));
        return text.trimmed().toUpper();
    };
    return !bare(a).isEmpty() && bare(a) == bare(b);
}
