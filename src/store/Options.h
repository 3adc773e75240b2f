#pragma once

#include <array>

// One key of the settings file and the text it stands for while it is absent.
struct Option {
    const char* key;
    const char* fallback;
};

// Every key the program reads or writes, declared once with its default. Truth values are
// written "0" and "1"; "True" and any non-zero number read as true.
namespace Options {
inline constexpr Option Store{"Store", ""}; // empty: the default store folder
inline constexpr Option Ftp{"Ftp", ""};
inline constexpr Option Port{"Port", "21"}; // as typed; a run takes 21 for anything else
inline constexpr Option User{"User", ""};
inline constexpr Option Password{"Passw", ""};
inline constexpr Option Upload{"isFTP", "0"};
inline constexpr Option ArchivePattern{"ArchPat", "yymmddhhmm"};
inline constexpr Option FtpPath{"FTPPAth", ""};
// The certificate the user accepted in the explorer; a run trusts that one and no other.
inline constexpr Option TlsFingerprint{"TlsFingerprint", ""};
inline constexpr Option CatchUp{"CatchUp", "0"};
inline constexpr Option QuietSuccess{"QuietSuccess", "0"};
inline constexpr Option Verify{"Verify", "1"};
// The region object-store requests are signed for.
inline constexpr Option S3Region{"S3Region", "us-east-1"};
// Empty: archives are not encrypted.
inline constexpr Option ArchivePassword{"ArchPass", ""};

inline constexpr std::array All{Store,           Ftp,     Port,           User,
                                Password,        Upload,  ArchivePattern, FtpPath,
                                TlsFingerprint,  CatchUp, QuietSuccess,   Verify,
                                ArchivePassword, S3Region};
} // namespace Options
