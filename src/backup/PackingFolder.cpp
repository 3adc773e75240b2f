#include "PackingFolder.h"

#include "common/Error.h"

#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A folder is made under the first name, locked, and only then given the second, so that no
// other packer ever finds it unlocked while it is in use.
constexpr char NewPrefix[] = ".vestrel-new-";
constexpr char Prefix[] = ".vestrel-packing-";
// The archive inside the folder; libzip writes it through a temporary file named after it.
constexpr char WorkName[] = "archive";

[[noreturn]] void raise(const QString& archivePath, int error) {
    throw VError(UnspecifiedErrorNumber, QStringLiteral("PackFiles"),
                 QStringLiteral("Cannot write archive '%1': %2")
                     .arg(archivePath, QString::fromLocal8Bit(std::strerror(error))));
}

bool isWorkFile(const char* name) {
    const size_t n = std::strlen(WorkName);
    return std::strncmp(name, WorkName, n) == 0 && (name[n] == '\0' || name[n] == '.');
}

// Removes the files a packer writes inside the open folder `dir`, then the folder itself
// (`name` in `parent`), which stays when anything else is in it.
void removeFolder(int parent, const char* name, int dir) {
    const int listed = ::dup(dir);
    DIR* entries = listed >= 0 ? ::fdopendir(listed) : nullptr;
    if (entries == nullptr) {
        if (listed >= 0) {
            ::close(listed);
        }
        return;
    }
    while (const dirent* entry = ::readdir(entries)) {
        struct stat st {};
        if (isWorkFile(entry->d_name) &&
            ::fstatat(dir, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode)) {
            ::unlinkat(dir, entry->d_name, 0);
        }
    }
    ::closedir(entries);
    ::unlinkat(parent, name, AT_REMOVEDIR);
}

} // namespace

PackingFolder::PackingFolder(const QString& archivePath)
    : m_archivePath(archivePath) {
    const QFileInfo archive(archivePath);
    const QString parent = archive.absolutePath();
    if (archive.exists() && !archive.isFile()) {
        raise(archivePath, EISDIR);
    }
    QByteArray made =
        QFile::encodeName(parent + QLatin1Char('/') + QLatin1String(NewPrefix)) + "XXXXXX";
    if (::mkdtemp(made.data()) == nullptr) {
        raise(archivePath, errno);
    }
    m_lock = ::open(made.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const QByteArray named =
        QFile::encodeName(parent + QLatin1Char('/') + QLatin1String(Prefix)) + made.right(6);
    if (m_lock < 0 || ::flock(m_lock, LOCK_EX | LOCK_NB) != 0 ||
        ::rename(made.constData(), named.constData()) != 0) {
        const int error = errno;
        ::rmdir(made.constData());
        if (m_lock >= 0) {
            ::close(m_lock);
        }
        raise(archivePath, error);
    }
    m_folder = QFile::decodeName(named);

    // The packer adds to an archive of the same name; a link costs nothing, a copy where the
    // file system has no links.
    if (archive.isFile()) {
        const QByteArray from = QFile::encodeName(archivePath);
        const QByteArray to = QFile::encodeName(workPath());
        if (::link(from.constData(), to.constData()) != 0) {
            std::error_code ec;
            std::filesystem::copy_file(from.toStdString(), to.toStdString(), ec);
            if (ec) {
                release();
                raise(archivePath, ec.value());
            }
        }
    }
}

PackingFolder::~PackingFolder() {
    release();
}

void PackingFolder::release() {
    if (m_lock < 0) {
        return;
    }
    const QByteArray parent = QFile::encodeName(QFileInfo(m_folder).absolutePath());
    const int parentFd = ::open(parent.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    removeFolder(parentFd, QFile::encodeName(QFileInfo(m_folder).fileName()).constData(), m_lock);
    if (parentFd >= 0) {
        ::close(parentFd);
    }
    ::close(m_lock);
    m_lock = -1;
}

QString PackingFolder::workPath() const {
    return m_folder + QLatin1Char('/') + QLatin1String(WorkName);
}

void PackingFolder::publish() {
    const QByteArray work = QFile::encodeName(workPath());
    if (::access(work.constData(), F_OK) != 0) {
        return;
    }
    if (::rename(work.constData(), QFile::encodeName(m_archivePath).constData()) != 0) {
        raise(m_archivePath, errno);
    }
}

void removePackingLeftovers(const QString& folder) {
    const int parent =
        ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const int listed = parent >= 0 ? ::dup(parent) : -1;
    DIR* entries = listed >= 0 ? ::fdopendir(listed) : nullptr;
    if (entries == nullptr) {
        if (listed >= 0) {
            ::close(listed);
        }
        if (parent >= 0) {
            ::close(parent);
        }
        return;
    }
    while (const dirent* entry = ::readdir(entries)) {
        if (std::strncmp(entry->d_name, Prefix, std::strlen(Prefix)) != 0) {
            continue;
        }
        // Never through a link: only a real folder of that name is a packer's.
        const int dir =
            ::openat(parent, entry->d_name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (dir < 0) {
            continue;
        }
        if (::flock(dir, LOCK_EX | LOCK_NB) == 0) {
            removeFolder(parent, entry->d_name, dir);
        }
        ::close(dir);
    }
    ::closedir(entries);
    ::close(parent);
}
