#include "Restore.h"

#include "ArchiveEntries.h"
#include "ArchivePassword.h"
#include "NumberedName.h"
#include "common/Error.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>
#include <zip.h>

namespace {

const QString Source = QStringLiteral("Restore");
constexpr zip_uint64_t ChunkBytes = 256 * 1024;
// A link's target is a path; anything longer is no link this system could make.
constexpr qint64 LongestLink = 4096;

class Fd {
public:
    explicit Fd(int fd = -1)
        : m_fd(fd) {}
    Fd(Fd&& other) noexcept
        : m_fd(std::exchange(other.m_fd, -1)) {}
    Fd& operator=(Fd&& other) noexcept {
        std::swap(m_fd, other.m_fd);
        return *this;
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    int get() const { return m_fd; }
    int release() { return std::exchange(m_fd, -1); }

private:
    int m_fd;
};

QByteArray native(const QString& name) {
    return QFile::encodeName(name);
}

QString systemText(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

// The parts of an entry's name below the target, or nothing when it would lead elsewhere.
std::optional<QStringList> partsInside(const QString& name) {
    if (name.startsWith(QLatin1Char('/')) || name.contains(QChar()))
        return std::nullopt;
    QStringList parts = name.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    parts.removeAll(QStringLiteral("."));
    if (parts.isEmpty() || parts.contains(QStringLiteral("..")))
        return std::nullopt;
    return parts;
}

bool isChosen(const QString& name, const QStringList& chosen) {
    return chosen.isEmpty() || std::any_of(chosen.begin(), chosen.end(), [&](const QString& c) {
               return name == c || name.startsWith(c + QLatin1Char('/'));
           });
}

QByteArray temporaryName() {
    return ".vestrel-restore-" + QByteArray::number(QRandomGenerator::global()->generate64(), 36);
}

struct FolderTimes {
    QStringList parts;
    unsigned mode;
    std::time_t mtime;
};

class Restorer {
public:
    Restorer(const ArchiveFile& archive, int root, QString target, EventLog& log,
             const ExistingQuestion& ask, const RestoreProgress& progress, qint64 total)
        : m_archive(archive)
        , m_root(root)
        , m_target(std::move(target))
        , m_log(log)
        , m_ask(ask)
        , m_progress(progress)
        , m_total(total) {}

    RestoreOutcome outcome;

    void restore(const ArchiveMember& entry) {
        const auto parts = partsInside(entry.name);
        if (!parts)
            return refuse(entry.name, QStringLiteral("its name leads outside the target folder"));
        if (entry.kind == ArchiveMember::Kind::Folder)
            return makeFolder(*parts, entry);
        QString why;
        const Fd parent = openFolder(parts->mid(0, parts->size() - 1), &why);
        if (parent.get() < 0)
            return refuse(entry.name, why);
        writeMember(parent.get(), parts->last(), entry);
    }

    // Folder modes and times last: writing into a folder changes its time, and a read-only
    // folder would refuse what goes into it.
    void finishFolders() {
        std::stable_sort(m_folders.begin(), m_folders.end(),
                         [](const FolderTimes& a, const FolderTimes& b) {
                             return a.parts.size() > b.parts.size();
                         });
        for (const FolderTimes& folder : m_folders) {
            QString why;
            Fd fd = openFolder(folder.parts, &why);
            const timespec times[2] = {{folder.mtime, 0}, {folder.mtime, 0}};
            if (fd.get() >= 0) {
                ::fchmod(fd.get(), folder.mode);
                ::futimens(fd.get(), times);
            }
        }
    }

private:
    void refuse(const QString& name, const QString& why) {
        ++outcome.failed;
        LogLine(m_log, QStringLiteral("Not restored: %1 (%2)").arg(name, why), IconFailure);
    }

    // Opens the folder below the target, making what is missing; never through a link.
    Fd openFolder(const QStringList& parts, QString* why) const {
        Fd fd(::fcntl(m_root, F_DUPFD_CLOEXEC, 0));
        for (const QString& part : parts) {
            const QByteArray name = native(part);
            int next = ::openat(fd.get(), name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (next < 0 && errno == ENOENT && ::mkdirat(fd.get(), name, 0777) == 0)
                next = ::openat(fd.get(), name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (next < 0) {
                const int error = errno;
                struct stat st {};
                const bool link =
                    ::fstatat(fd.get(), name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode);
                *why = link ? QStringLiteral("its path passes through the link %1").arg(part)
                       : error == ENOTDIR
                           ? QStringLiteral("the file %1 is in the way of a folder").arg(part)
                           : systemText(error);
                return Fd();
            }
            fd = Fd(next);
        }
        return fd;
    }

    void makeFolder(const QStringList& parts, const ArchiveMember& entry) {
        QString why;
        const Fd fd = openFolder(parts, &why);
        if (fd.get() < 0)
            return refuse(entry.name, why);
        m_folders.push_back({parts, entry.mode, entry.mtime});
        ++outcome.written;
    }

    enum class Place { New, Replace, Numbered, Skip, Fail };

    Place settle(int parent, const QString& name, const ArchiveMember& entry) {
        struct stat st {};
        if (::fstatat(parent, native(name), &st, AT_SYMLINK_NOFOLLOW) != 0)
            return Place::New;
        if (S_ISDIR(st.st_mode)) {
            refuse(entry.name, QStringLiteral("a folder of that name is in the way"));
            return Place::Fail;
        }
        ExistingChoice choice;
        if (m_forAll)
            choice = *m_forAll;
        else if (m_ask)
            choice = m_ask(QDir(m_target).filePath(entry.name));
        if (choice.forAll)
            m_forAll = choice;
        switch (choice.answer) {
        case ExistingAnswer::Overwrite:
            return Place::Replace;
        case ExistingAnswer::KeepBoth:
            return Place::Numbered;
        case ExistingAnswer::Skip:
            break;
        }
        ++outcome.skipped;
        return Place::Skip;
    }

    void writeMember(int parent, const QString& name, const ArchiveMember& entry) {
        const Place place = settle(parent, name, entry);
        if (place == Place::Skip || place == Place::Fail)
            return;
        QByteArray temporary;
        const QString failure = entry.kind == ArchiveMember::Kind::Link
                                    ? makeLink(parent, entry, temporary)
                                    : writeFile(parent, entry, temporary);
        if (outcome.cancelled)
            return;
        if (!failure.isEmpty()) {
            if (!temporary.isEmpty())
                ::unlinkat(parent, temporary, 0);
            return refuse(entry.name, failure);
        }
        if (const int error = placeAt(parent, temporary, name, place); error != 0) {
            ::unlinkat(parent, temporary, 0);
            return refuse(entry.name, systemText(error));
        }
        ++outcome.written;
    }

    QString writeFile(int parent, const ArchiveMember& entry, QByteArray& temporary) {
        Fd out;
        for (int attempt = 0; attempt < 100 && out.get() < 0; ++attempt) {
            temporary = temporaryName();
            out = Fd(::openat(parent, temporary,
                              O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
            if (out.get() < 0 && errno != EEXIST)
                break;
        }
        if (out.get() < 0) {
            const int error = errno;
            temporary.clear();
            return systemText(error);
        }
        std::unique_ptr<zip_file_t, int (*)(zip_file_t*)> in(
            zip_fopen_index(m_archive.handle(), zip_uint64_t(entry.index), 0), zip_fclose);
        if (!in)
            return archiveErrorText(m_archive.handle());
        zip_int64_t got = 0;
        while ((got = zip_fread(in.get(), m_buffer.data(), ChunkBytes)) > 0) {
            for (zip_int64_t off = 0; off < got;) {
                const ssize_t n = ::write(out.get(), m_buffer.data() + off, size_t(got - off));
                if (n < 0 && errno == EINTR)
                    continue;
                if (n < 0)
                    return systemText(errno);
                off += n;
            }
            m_done += got;
            if (m_progress && !m_progress(entry.name, m_done, m_total)) {
                ::unlinkat(parent, temporary, 0);
                outcome.cancelled = true;
                return QString();
            }
        }
        if (got < 0)
            return QString::fromLocal8Bit(zip_file_strerror(in.get()));
        const timespec times[2] = {{entry.mtime, 0}, {entry.mtime, 0}};
        if (::fchmod(out.get(), entry.mode) != 0 || ::futimens(out.get(), times) != 0 ||
            ::close(out.release()) != 0)
            return systemText(errno);
        return QString();
    }

    QString makeLink(int parent, const ArchiveMember& entry, QByteArray& temporary) {
        if (entry.size <= 0 || entry.size > LongestLink)
            return QStringLiteral("no link target of a usable length");
        std::unique_ptr<zip_file_t, int (*)(zip_file_t*)> in(
            zip_fopen_index(m_archive.handle(), zip_uint64_t(entry.index), 0), zip_fclose);
        QByteArray target(entry.size, Qt::Uninitialized);
        if (!in || zip_fread(in.get(), target.data(), zip_uint64_t(target.size())) != entry.size)
            return archiveErrorText(m_archive.handle());
        if (target.contains('\0'))
            return QStringLiteral("no link target of a usable length");
        for (int attempt = 0; attempt < 100; ++attempt) {
            temporary = temporaryName();
            if (::symlinkat(target.constData(), parent, temporary) == 0) {
                const timespec times[2] = {{entry.mtime, 0}, {entry.mtime, 0}};
                ::utimensat(parent, temporary, times, AT_SYMLINK_NOFOLLOW);
                return QString();
            }
            if (errno != EEXIST)
                break;
        }
        const int error = errno;
        temporary.clear();
        return systemText(error);
    }

    // 0 or the system's reason; a name taken meanwhile is never replaced unless asked.
    static int placeAt(int parent, const QByteArray& temporary, const QString& name, Place place) {
        if (place == Place::Replace)
            return ::renameat(parent, temporary, parent, native(name)) == 0 ? 0 : errno;
        for (int n = place == Place::Numbered ? 2 : 1; n < 10000; ++n) {
            const QByteArray wanted =
                n == 1
                    ? native(name)
                    : QByteArray::fromStdString(numberedName(native(name).toStdString(), n, false));
            if (::renameat2(parent, temporary, parent, wanted, RENAME_NOREPLACE) == 0)
                return 0;
            if (errno != EEXIST || place != Place::Numbered)
                return errno;
        }
        return EEXIST;
    }

    const ArchiveFile& m_archive;
    int m_root;
    QString m_target;
    EventLog& m_log;
    const ExistingQuestion& m_ask;
    const RestoreProgress& m_progress;
    qint64 m_total;
    qint64 m_done = 0;
    std::optional<ExistingChoice> m_forAll;
    std::vector<FolderTimes> m_folders;
    std::vector<char> m_buffer = std::vector<char>(ChunkBytes);
};

} // namespace

RestoreOutcome restoreArchive(const RestoreRequest& request, EventLog& log,
                              const ExistingQuestion& ask, const RestoreProgress& progress) {
    const ArchiveFile archive(request.archive);
    const QString locked =
        passwordFailureText(tryPassword(archive, request.password), request.archive);
    if (!locked.isEmpty())
        throw VError(UnspecifiedErrorNumber, Source, locked);
    QStringList chosen;
    for (QString name : request.chosen) {
        while (name.endsWith(QLatin1Char('/')))
            name.chop(1);
        chosen << name;
    }
    std::vector<const ArchiveMember*> entries;
    qint64 total = 0;
    for (const ArchiveMember& entry : archive.entries()) {
        if (isChosen(entry.name, chosen)) {
            entries.push_back(&entry);
            total += entry.kind == ArchiveMember::Kind::File ? entry.size : 0;
        }
    }
    if (!QDir().mkpath(request.target))
        throw VError(UnspecifiedErrorNumber, Source,
                     QStringLiteral("Cannot create the folder %1").arg(request.target));
    const Fd root(::open(native(request.target), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (root.get() < 0)
        throw VError(
            UnspecifiedErrorNumber, Source,
            QStringLiteral("Cannot open the folder %1: %2").arg(request.target, systemText(errno)));

    Restorer restorer(archive, root.get(), request.target, log, ask, progress, total);
    for (const QString& name : chosen) {
        if (std::none_of(entries.begin(), entries.end(),
                         [&](const ArchiveMember* e) { return isChosen(e->name, {name}); })) {
            ++restorer.outcome.failed;
            LogLine(log, QStringLiteral("No entry %1 in the archive").arg(name), IconFailure);
        }
    }
    for (const ArchiveMember* entry : entries) {
        restorer.restore(*entry);
        if (restorer.outcome.cancelled)
            break;
    }
    restorer.finishFolders();
    const RestoreOutcome outcome = restorer.outcome;
    if (outcome.cancelled) {
        LogLine(log,
                QStringLiteral("Restore cancelled; %1 entries were written to %2")
                    .arg(outcome.written)
                    .arg(request.target),
                IconFailure);
    } else {
        QString text = QStringLiteral("Restored %1 of %2 entries from %3 to %4")
                           .arg(outcome.written)
                           .arg(entries.size())
                           .arg(request.archive, request.target);
        if (outcome.skipped > 0)
            text += QStringLiteral("; %1 kept as they were").arg(outcome.skipped);
        LogLine(log, text, outcome.complete() ? IconSuccess : IconFailure);
    }
    return outcome;
}
