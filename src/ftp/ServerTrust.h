#pragma once

#include "ftp/ServerRefusal.h"

#include <QString>
#include <curl/curl.h>

// What one connection checks, handed to libcurl's callbacks.
struct ServerCheck {
    QString host;
    int port = 0;
    QString knownHostsPath;
    // The one certificate accepted instead of the system's trust store, or empty.
    QString trustedCertificate;
    ServerRefusal refusal;
    // A certificate above the server's own failed the system's check.
    bool chainBroken = false;
};

// Checks the SSH host key against known_hosts; unknown and changed keys are refused.
void applyHostKeyCheck(CURL* curl, ServerCheck& check);
// Checks the certificate against the system's trust store, or against exactly the trusted one.
void applyCertificateCheck(CURL* curl, ServerCheck& check);

// The line that says why the server was refused and how to accept it where that is safe.
QString refusalText(const ServerCheck& check);

// Appends the line to known_hosts, creating its folder (mode 0700) and file as ssh would.
bool addKnownHost(const QString& knownHostsPath, const QString& line);

// Fingerprints compare without regard to case and separators.
bool sameFingerprint(const QString& a, const QString& b);
