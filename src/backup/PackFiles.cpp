#include "PackFiles.h"

#include "NumberedName.h"
#include "PackingFolder.h"
#include "common/Error.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <set>
#include <string>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>
#include <unordered_map>
#include <zip.h>
#include <zlib.h>

namespace fs = std::filesystem;

namespace {

const QString Source = QStringLiteral("PackFiles");

// Deflate at the level Info-ZIP uses by default: level 9 costs twice the time for a few tenths
// of a percent.
constexpr zip_uint32_t DeflateLevel = 6;

// Files above this size are sampled: data that does not compress (media, archives, encrypted
// files) is stored as it is instead of spending time on deflating it.
constexpr off_t SampleFilesFrom = 256 * 1024;
constexpr size_t SampleSize = 64 * 1024;
constexpr double StoreAboveRatio = 0.95;

// A file whose size is known up front gets a plain entry; a file that could grow past 4 GiB
// while it is read gets a zip64 entry from the start.
constexpr off_t Zip64From = off_t(2) * 1024 * 1024 * 1024;

[[noreturn]] void raise(const QString& description) {
    throw VError(UnspecifiedErrorNumber, Source, description);
}

QString systemText(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

QString nativeToText(const fs::path& path) {
    return QFile::decodeName(QByteArray::fromStdString(path.native()));
}

// One file of the archive, read only while the archive is written. It reads to the end of the
// file as it finds it then, so a log that grows or shrinks meanwhile is packed as read.
// Bytes read of the files being packed, handed on as they are read.
struct PackCounter {
    PackProgress report;
    qint64 done = 0;
    qint64 total = 0;

    void add(const QString& path, qint64 bytes) {
        done += bytes;
        if (report) {
            report(path, std::min(done, total), total);
        }
    }
};

struct EntrySource {
    std::string path;
    QString displayPath;
    time_t mtime = 0;
    off_t size = 0;
    int fd = -1;
    zip_error_t error{};
    QString* failedPath = nullptr;
    PackCounter* counter = nullptr;

    void fail(int zipCode, int systemError) {
        zip_error_set(&error, zipCode, systemError);
        if (failedPath->isEmpty()) {
            *failedPath = displayPath;
        }
    }
};

zip_int64_t entryCallback(void* userdata, void* data, zip_uint64_t len, zip_source_cmd_t cmd) {
    auto* entry = static_cast<EntrySource*>(userdata);
    switch (cmd) {
    case ZIP_SOURCE_OPEN:
        entry->fd = ::open(entry->path.c_str(), O_RDONLY | O_CLOEXEC);
        if (entry->fd < 0) {
            entry->fail(ZIP_ER_OPEN, errno);
            return -1;
        }
        ::posix_fadvise(entry->fd, 0, 0, POSIX_FADV_SEQUENTIAL);
        return 0;
    case ZIP_SOURCE_READ: {
        ssize_t n;
        do {
            n = ::read(entry->fd, data, len);
        } while (n < 0 && errno == EINTR);
        if (n < 0) {
            entry->fail(ZIP_ER_READ, errno);
            return -1;
        }
        entry->counter->add(entry->displayPath, n);
        return n;
    }
    case ZIP_SOURCE_CLOSE:
        if (entry->fd >= 0) {
            ::close(entry->fd);
            entry->fd = -1;
        }
        return 0;
    case ZIP_SOURCE_STAT: {
        auto* st = ZIP_SOURCE_GET_ARGS(zip_stat_t, data, len, &entry->error);
        if (st == nullptr) {
            return -1;
        }
        zip_stat_init(st);
        st->mtime = entry->mtime;
        st->valid |= ZIP_STAT_MTIME;
        if (entry->size < Zip64From) {
            st->size = static_cast<zip_uint64_t>(entry->size);
            st->valid |= ZIP_STAT_SIZE;
        }
        return sizeof(zip_stat_t);
    }
    case ZIP_SOURCE_ERROR:
        return zip_error_to_data(&entry->error, data, len);
    case ZIP_SOURCE_FREE:
        if (entry->fd >= 0) {
            ::close(entry->fd);
        }
        zip_error_fini(&entry->error);
        delete entry;
        return 0;
    case ZIP_SOURCE_SUPPORTS:
        return zip_source_make_command_bitmap(ZIP_SOURCE_OPEN, ZIP_SOURCE_READ, ZIP_SOURCE_CLOSE,
                                              ZIP_SOURCE_STAT, ZIP_SOURCE_ERROR, ZIP_SOURCE_FREE,
                                              -1);
    default:
        zip_error_set(&entry->error, ZIP_ER_OPNOTSUPP, 0);
        return -1;
    }
}

// Deflates samples from the start and the middle of the file; when they hardly shrink, the
// file is taken as incompressible.
bool compressesPoorly(int fd, off_t size) {
    if (size < SampleFilesFrom) {
        return false;
    }
    std::vector<Bytef> in(SampleSize);
    std::vector<Bytef> out(compressBound(SampleSize));
    size_t totalIn = 0;
    size_t totalOut = 0;
    for (const off_t offset : {off_t(0), size / 2}) {
        const ssize_t n = ::pread(fd, in.data(), in.size(), offset);
        if (n <= 0) {
            continue;
        }
        uLongf outLen = static_cast<uLongf>(out.size());
        if (compress2(out.data(), &outLen, in.data(), static_cast<uLong>(n), 1) != Z_OK) {
            return false;
        }
        totalIn += static_cast<size_t>(n);
        totalOut += outLen;
    }
    return totalIn > 0 && double(totalOut) >= StoreAboveRatio * double(totalIn);
}

} // namespace

FileSlots::FileSlots(int size)
    : m_slots(static_cast<size_t>(std::max(size, 0))) {
}

const QString& FileSlots::operator[](int k) const {
    static const QString empty;
    if (k < 0 || k >= size()) {
        return empty;
    }
    return m_slots[static_cast<size_t>(k)];
}

void FileSlots::set(int k, const QString& path) {
    if (k < 0) {
        return;
    }
    if (k >= size()) {
        m_slots.resize(static_cast<size_t>(k) + 1);
    }
    m_slots[static_cast<size_t>(k)] = path;
}

struct ZipPacker::Impl {
    zip_t* zip = nullptr;
    QString archivePath;
    // Where the archive is written until it is whole.
    std::unique_ptr<PackingFolder> work;
    QString failedPath;
    PackCounter counter;
    // Entry names are the file system's bytes, so that every file keeps its exact name, UTF-8 or
    // not. Top-level names this packing has given out; a later file or folder of the same name gets
    // a number instead of replacing the earlier one.
    std::set<std::string> topLevelNames;
    // The entries the archive held when it was opened, by stored name: a new entry of such a
    // name replaces the old one. libzip's own lookup misses names that are not UTF-8.
    std::unordered_map<std::string, zip_uint64_t> earlierEntries;

    ~Impl() { discard(); }

    void discard() {
        if (zip != nullptr) {
            zip_discard(zip);
            zip = nullptr;
        }
        work.reset();
        failedPath.clear();
        topLevelNames.clear();
        earlierEntries.clear();
    }

    std::string takeTopLevelName(const std::string& name, bool folder) {
        if (name.empty()) {
            return name;
        }
        std::string taken = name;
        for (int n = 2; !topLevelNames.insert(taken).second; ++n) {
            taken = numberedName(name, n, folder);
        }
        return taken;
    }

    void open(const QString& path) {
        // What a killed run left in this store would otherwise stay there for ever.
        removePackingLeftovers(QFileInfo(path).absolutePath());
        work = std::make_unique<PackingFolder>(path);
        int code = 0;
        zip = zip_open(QFile::encodeName(work->workPath()).constData(), ZIP_CREATE, &code);
        if (zip == nullptr) {
            work.reset();
            zip_error_t error;
            zip_error_init_with_code(&error, code);
            const QString reason = QString::fromLocal8Bit(zip_error_strerror(&error));
            zip_error_fini(&error);
            raise(QStringLiteral("Cannot open archive '%1': %2").arg(path, reason));
        }
        archivePath = path;
        failedPath.clear();
        topLevelNames.clear();
        earlierEntries.clear();
        const zip_int64_t count = zip_get_num_entries(zip, 0);
        for (zip_uint64_t i = 0; i < zip_uint64_t(std::max<zip_int64_t>(count, 0)); ++i) {
            if (const char* name = zip_get_name(zip, i, ZIP_FL_ENC_RAW)) {
                earlierEntries.emplace(name, i);
            }
        }
    }

    [[noreturn]] void raiseZipError(const QString& what) {
        raise(QStringLiteral("%1: %2").arg(what, QString::fromLocal8Bit(zip_strerror(zip))));
    }

    // The entry's index, or -1. An entry the archive held when opened is replaced (a folder
    // entry kept). libzip marks a valid UTF-8 name as such and stores any other name unchanged.
    zip_int64_t putEntry(const std::string& entryName, zip_source_t* file) {
        const auto earlier = earlierEntries.find(entryName);
        if (earlier == earlierEntries.end()) {
            return file != nullptr ? zip_file_add(zip, entryName.c_str(), file, ZIP_FL_ENC_GUESS)
                                   : zip_dir_add(zip, entryName.c_str(), ZIP_FL_ENC_GUESS);
        }
        if (file != nullptr && zip_file_replace(zip, earlier->second, file, 0) < 0) {
            return -1;
        }
        return zip_int64_t(earlier->second);
    }

    void addFolderEntry(const std::string& name, time_t mtime) {
        const zip_int64_t index = putEntry(name + '/', nullptr);
        if (index < 0 || zip_file_set_mtime(zip, static_cast<zip_uint64_t>(index), mtime, 0) < 0) {
            raiseZipError(QStringLiteral("Cannot add folder '%1'").arg(nativeToText(name)));
        }
    }

    void addFile(const fs::path& path, const std::string& name) {
        const QString display = nativeToText(path);
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            raise(QStringLiteral("Cannot read file '%1': %2").arg(display, systemText(errno)));
        }
        struct stat st {};
        if (::fstat(fd, &st) != 0) {
            const int error = errno;
            ::close(fd);
            raise(QStringLiteral("Cannot read file '%1': %2").arg(display, systemText(error)));
        }
        const bool store = compressesPoorly(fd, st.st_size);
        ::close(fd);

        auto* entry = new EntrySource;
        entry->path = path.native();
        entry->displayPath = display;
        entry->mtime = st.st_mtime;
        entry->size = st.st_size;
        entry->failedPath = &failedPath;
        entry->counter = &counter;
        counter.total += st.st_size;
        zip_error_init(&entry->error);
        zip_source_t* source = zip_source_function(zip, entryCallback, entry);
        if (source == nullptr) {
            zip_error_fini(&entry->error);
            delete entry;
            raiseZipError(QStringLiteral("Cannot add file '%1'").arg(display));
        }
        const zip_int64_t index = putEntry(name, source);
        if (index < 0) {
            zip_source_free(source);
            raiseZipError(QStringLiteral("Cannot add file '%1'").arg(display));
        }
        const auto method = store ? ZIP_CM_STORE : ZIP_CM_DEFLATE;
        if (zip_set_file_compression(zip, static_cast<zip_uint64_t>(index), method,
                                     store ? 0 : DeflateLevel) < 0) {
            raiseZipError(QStringLiteral("Cannot add file '%1'").arg(display));
        }
    }

    // Adds the folder and everything below it, children in name order so that an archive of
    // the same tree always lists the same order. Symbolic links to folders are kept as folders
    // but not followed (a link to an ancestor would never end); pipes, sockets and devices are
    // left out, as reading them could block the run forever.
    void addFolder(const fs::path& path, const std::string& name) {
        struct stat st {};
        if (::stat(path.c_str(), &st) != 0) {
            raise(QStringLiteral("Cannot read folder '%1': %2")
                      .arg(nativeToText(path), systemText(errno)));
        }
        if (!name.empty()) {
            addFolderEntry(name, st.st_mtime);
        }

        std::error_code ec;
        std::vector<fs::directory_entry> children;
        for (fs::directory_iterator it(path, ec), end; !ec && it != end; it.increment(ec)) {
            children.push_back(*it);
        }
        if (ec) {
            raise(QStringLiteral("Cannot read folder '%1': %2")
                      .arg(nativeToText(path), QString::fromStdString(ec.message())));
        }
        std::sort(children.begin(), children.end(),
                  [](const fs::directory_entry& a, const fs::directory_entry& b) {
                      return a.path().filename() < b.path().filename();
                  });
        for (const fs::directory_entry& child : children) {
            std::error_code statError;
            const fs::file_status status = child.status(statError);
            const std::string leaf = child.path().filename().native();
            const std::string childName = name.empty() // the root: its children are the top level
                                              ? takeTopLevelName(leaf, fs::is_directory(status))
                                              : name + '/' + leaf;
            if (fs::is_regular_file(status)) {
                addFile(child.path(), childName);
            } else if (fs::is_directory(status)) {
                if (child.is_symlink(statError)) {
                    struct stat linked {};
                    ::stat(child.path().c_str(), &linked);
                    addFolderEntry(childName, linked.st_mtime);
                } else {
                    addFolder(child.path(), childName);
                }
            }
        }
    }

    void pack(const QString& path) {
        const QString cleaned = QDir::cleanPath(path);
        const fs::path native(QFile::encodeName(cleaned).toStdString());
        std::error_code ec;
        const fs::file_status status = fs::status(native, ec);
        const std::string leaf = native.filename().native();
        if (fs::is_regular_file(status)) {
            addFile(native, takeTopLevelName(leaf, false));
        } else if (fs::is_directory(status)) {
            // Paths inside the archive start at the folder's own name.
            addFolder(native, takeTopLevelName(leaf, true));
        } else if (!fs::exists(status)) {
            raise(QStringLiteral("Cannot pack '%1': %2")
                      .arg(path, ec ? QString::fromStdString(ec.message())
                                    : QStringLiteral("No such file or directory")));
        } else {
            raise(QStringLiteral("Cannot pack '%1': not a file or folder").arg(path));
        }
    }

    void close() {
        if (zip == nullptr) {
            return;
        }
        if (zip_close(zip) == 0) {
            zip = nullptr;
            const std::unique_ptr<PackingFolder> written = std::move(work);
            written->publish();
            failedPath.clear();
            topLevelNames.clear();
            earlierEntries.clear();
            return;
        }
        const QString reason = QString::fromLocal8Bit(zip_strerror(zip));
        const QString failed = failedPath;
        discard();
        if (!failed.isEmpty()) {
            raise(QStringLiteral("Cannot read file '%1' for archive '%2': %3")
                      .arg(failed, archivePath, reason));
        }
        raise(QStringLiteral("Cannot write archive '%1': %2").arg(archivePath, reason));
    }
};

ZipPacker::ZipPacker()
    : m_impl(std::make_unique<Impl>()) {
}

ZipPacker::~ZipPacker() = default;

void ZipPacker::Pack(const QString& path, const QString& archivePath) {
    if (m_impl->zip != nullptr && m_impl->archivePath != archivePath) {
        m_impl->close();
    }
    if (m_impl->zip == nullptr) {
        m_impl->open(archivePath);
    }
    m_impl->pack(path);
}

void ZipPacker::close() {
    m_impl->close();
}

void ZipPacker::setProgress(PackProgress progress) {
    m_impl->counter.report = std::move(progress);
}

void PackFiles(int count, const QString& archivePath, const FileSlots& fileSlots,
               PackProgress progress) {
    ZipPacker packer;
    packer.setProgress(std::move(progress));
    for (int k = 1; k <= count; ++k) {
        const QString& path = fileSlots[k];
        if (!path.isEmpty()) {
            packer.Pack(path, archivePath);
        }
    }
    packer.close();
}
