#pragma once

#include <QString>

// Why a log-on refused the server itself, before any password was sent, and what the server
// showed: a log-on never trusts a host key or certificate on its own.
struct ServerRefusal {
    enum class Reason { None, UnknownHostKey, ChangedHostKey, UntrustedCertificate };

    Reason reason = Reason::None;
    // "SHA256:…" (as ssh shows host keys) or the certificate's SHA-256 in colon-separated hex
    // (as openssl shows certificates).
    QString fingerprint;
    // For a host key: the known_hosts line that trusts exactly that key.
    QString knownHostsLine;
    // A certificate was refused because another one is trusted in the options.
    bool otherThanTrusted = false;
};
