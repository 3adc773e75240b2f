#include "PackFiles.h"

#include "DeflatePool.h"
#include "NumberedName.h"
#include "PackingFolder.h"
#include "ReadableFile.h"
#include "common/Error.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <numeric>
#include <set>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <unordered_map>
#include <zip.h>
#include <zlib.h>

namespace {

const QString Source = QStringLiteral("PackFiles");

constexpr zip_uint32_t DeflateLevel = 6;

// Files above this size are sampled: data that does not compress (media, archives, encrypted
// files) is stored as it is instead of spending time on deflating it.
constexpr off_t SampleFilesFrom = 256 * 1024;
constexpr size_t SampleSize = 64 * 1024;
constexpr double StoreAboveRatio = 0.95;

// A file whose size is known up front gets a plain entry; a file that could grow past 4 GiB
// while it is read gets a zip64 entry from the start.
constexpr off_t Zip64From = off_t(2) * 1024 * 1024 * 1024;
// A file found small but grown huge by the time it is read is cut here, so that its entry
// still fits the plain header written for it.
constexpr std::int64_t PlainEntryLimit = std::int64_t(3) * 1024 * 1024 * 1024;

// Info-ZIP's extended timestamp: the modification time to the second, which the entry's own
// time keeps only to two seconds.
constexpr zip_uint16_t ExtendedTimestamp = 0x5455;
// The MS-DOS attribute that marks a folder.
constexpr zip_uint32_t DosFolder = 0x10;
// An empty final deflate block: the data of an entry kept in place of a file that was skipped.
constexpr unsigned char EmptyDeflate[] = {0x03, 0x00};

[[noreturn]] void raise(const QString& description) {
    throw VError(UnspecifiedErrorNumber, Source, description);
}

QString systemText(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

QString nativeToText(const std::string& path) {
    return QFile::decodeName(QByteArray::fromStdString(path));
}

// Why something found in a session's folders is not packed.
QString kindNotPacked(mode_t mode) {
    if (S_ISFIFO(mode)) {
        return QStringLiteral("a named pipe is not packed");
    }
    if (S_ISSOCK(mode)) {
        return QStringLiteral("a socket is not packed");
    }
    return QStringLiteral("a device is not packed");
}

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

int defaultWorkers() {
    if (const char* set = std::getenv("VESTREL_PACK_WORKERS")) {
        if (const int n = std::atoi(set); n > 0) {
            return n;
        }
    }
    return std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
}

// The names of a folder's children, in byte order, so that an archive of the same tree always
// lists the same order.
std::vector<std::string> childNames(int dir) {
    std::vector<std::string> names;
    const int listed = ::dup(dir);
    DIR* entries = listed >= 0 ? ::fdopendir(listed) : nullptr;
    if (entries == nullptr) {
        if (listed >= 0) {
            ::close(listed);
        }
        return names;
    }
    ::rewinddir(entries);
    while (const dirent* entry = ::readdir(entries)) {
        if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0) {
            names.emplace_back(entry->d_name);
        }
    }
    ::closedir(entries);
    std::sort(names.begin(), names.end());
    return names;
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
    // A file to be read while the archive is written.
    struct Planned {
        FileToRead where;
        QString display;
        off_t size = 0; // as found
        bool deflate = true;
        zip_uint64_t index = 0;
        size_t poolIndex = 0;
    };

    zip_t* zip = nullptr;
    QString archivePath;
    // Where the archive is written until it is whole.
    std::unique_ptr<PackingFolder> work;
    QString failedPath;
    PackCounter counter;
    PackOptions options;
    std::vector<Planned> planned;
    // The session's folders, open from the walk until the archive is written: their files are
    // found below them and never through a link.
    std::vector<int> folders;
    std::unique_ptr<DeflatePool> pool;
    // Entries kept in place of files found swapped for something else; removed once written.
    std::vector<zip_uint64_t> placeholders;
    std::atomic<bool> cancelled{false};
    int skippedByPattern = 0;
    // Entry names are the file system's bytes, so that every file keeps its exact name, UTF-8 or
    // not. Top-level names this packing has given out; a later file or folder of the same name gets
    // a number instead of replacing the earlier one.
    std::set<std::string> topLevelNames;
    // The entries the archive held when it was opened, by stored name: a new entry of such a
    // name replaces the old one. libzip's own lookup misses names that are not UTF-8.
    std::unordered_map<std::string, zip_uint64_t> earlierEntries;

    ~Impl() { discard(); }

    void reset() {
        pool.reset();
        for (const int fd : folders) {
            ::close(fd);
        }
        folders.clear();
        planned.clear();
        placeholders.clear();
        failedPath.clear();
        topLevelNames.clear();
        earlierEntries.clear();
        counter.done = counter.total = 0;
        skippedByPattern = 0;
    }

    void discard() {
        pool.reset(); // before the sources it feeds
        if (zip != nullptr) {
            zip_discard(zip);
            zip = nullptr;
        }
        work.reset();
        reset();
    }

    void notice(const QString& line) const {
        if (options.skipped) {
            options.skipped(line);
        }
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
        reset();
        cancelled = false;
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

    // The mode and time as Info-ZIP's zip keeps them, so that unzip restores them.
    bool describe(zip_uint64_t index, const struct stat& st) {
        const auto mode = static_cast<zip_uint32_t>(st.st_mode) & 0xFFFFu;
        if (zip_file_set_mtime(zip, index, st.st_mtime, 0) < 0 ||
            zip_file_set_external_attributes(zip, index, 0, ZIP_OPSYS_UNIX,
                                             mode << 16 | (S_ISDIR(st.st_mode) ? DosFolder : 0)) <
                0) {
            return false;
        }
        if (st.st_mtime < 0 || st.st_mtime > INT32_MAX) {
            return true; // beyond what the field holds; the entry's own time stands
        }
        const auto t = static_cast<zip_uint32_t>(st.st_mtime);
        const zip_uint8_t field[] = {1, zip_uint8_t(t), zip_uint8_t(t >> 8), zip_uint8_t(t >> 16),
                                     zip_uint8_t(t >> 24)};
        for (const zip_flags_t where : {ZIP_FL_LOCAL, ZIP_FL_CENTRAL}) {
            const bool held =
                zip_file_extra_fields_count_by_id(zip, index, ExtendedTimestamp, where) > 0;
            if (zip_file_extra_field_set(zip, index, ExtendedTimestamp,
                                         held ? 0 : ZIP_EXTRA_FIELD_NEW, field, sizeof field,
                                         where) < 0) {
                return false;
            }
        }
        return true;
    }

    bool encrypt(zip_uint64_t index) {
        return options.password.isEmpty() ||
               zip_file_set_encryption(zip, index, ZIP_EM_AES_256,
                                       options.password.toUtf8().constData()) == 0;
    }

    void addFolderEntry(const std::string& name, const QString& display, const struct stat& st) {
        const zip_int64_t index = putEntry(name + '/', nullptr);
        if (index < 0 || !describe(static_cast<zip_uint64_t>(index), st)) {
            raiseZipError(QStringLiteral("Cannot add folder '%1'").arg(display));
        }
    }

    // The link itself: its target as the entry's data, as Info-ZIP stores it.
    void addLink(int dir, const std::string& path, const std::string& name, const QString& display,
                 const struct stat& st) {
        std::vector<char> target(std::max<size_t>(size_t(st.st_size), 255) + 1);
        const ssize_t n = ::readlinkat(dir, path.c_str(), target.data(), target.size());
        if (n < 0) {
            raise(QStringLiteral("Cannot read link '%1': %2").arg(display, systemText(errno)));
        }
        void* data = std::malloc(std::max<size_t>(size_t(n), 1));
        std::memcpy(data, target.data(), size_t(n));
        zip_source_t* source = zip_source_buffer(zip, data, zip_uint64_t(n), 1);
        if (source == nullptr) {
            std::free(data);
            raiseZipError(QStringLiteral("Cannot add link '%1'").arg(display));
        }
        const zip_int64_t index = putEntry(name, source);
        if (index < 0) {
            zip_source_free(source);
            raiseZipError(QStringLiteral("Cannot add link '%1'").arg(display));
        }
        const auto at = static_cast<zip_uint64_t>(index);
        if (zip_set_file_compression(zip, at, ZIP_CM_STORE, 0) < 0 || !describe(at, st) ||
            !encrypt(at)) {
            raiseZipError(QStringLiteral("Cannot add link '%1'").arg(display));
        }
    }

    void addFile(const FileToRead& where, const QString& display, const std::string& name);
    void addFolder(int root, int dir, const std::string& below, const QString& display,
                   const std::string& name);
    void pack(const QString& path);
    void close();
    void dropPlaceholders();
};

namespace {

// One file's entry: its data comes from the pool while libzip writes the archive.
struct PooledEntry {
    ZipPacker::Impl* packer = nullptr;
    size_t planned = 0;
    time_t mtime = 0;
    zip_error_t error{};
    DeflatePool::Block block;
    size_t position = 0;
    bool placeholder = false;
    bool ended = false;
    zip_uint32_t crc = 0;
    zip_uint64_t size = 0;

    const ZipPacker::Impl::Planned& file() const { return packer->planned[planned]; }

    zip_int64_t fail(int zipCode, int systemError) {
        zip_error_set(&error, zipCode, systemError);
        if (packer->failedPath.isEmpty() && zipCode != ZIP_ER_CANCELLED) {
            packer->failedPath = file().display;
        }
        return -1;
    }

    zip_int64_t open() {
        position = 0;
        block.data.clear();
        crc = 0;
        size = 0;
        ended = placeholder = false;
        int systemError = 0;
        switch (packer->pool->opened(file().poolIndex, systemError)) {
        case DeflatePool::State::Open:
            return 0;
        case DeflatePool::State::NotRegular:
            // The entry is already in the archive being written: it gets no data here and is
            // taken out once the archive is whole.
            placeholder = true;
            packer->placeholders.push_back(file().index);
            packer->notice(
                QStringLiteral("Skipped %1: it is no longer a regular file").arg(file().display));
            return 0;
        default:
            return fail(packer->cancelled ? ZIP_ER_CANCELLED : ZIP_ER_OPEN, systemError);
        }
    }

    zip_int64_t read(void* data, zip_uint64_t len) {
        if (packer->cancelled) {
            return fail(ZIP_ER_CANCELLED, 0);
        }
        if (placeholder) {
            const size_t n = file().deflate && !ended ? sizeof EmptyDeflate : 0;
            std::memcpy(data, EmptyDeflate, n);
            ended = true;
            return zip_int64_t(n);
        }
        auto* out = static_cast<unsigned char*>(data);
        zip_uint64_t copied = 0;
        while (copied < len && !ended) {
            if (position == block.data.size()) {
                if (!packer->pool->next(file().poolIndex, block)) {
                    if (packer->cancelled) {
                        return fail(ZIP_ER_CANCELLED, 0);
                    }
                    ended = true;
                    break;
                }
                if (block.error != 0) {
                    return fail(ZIP_ER_READ, block.error);
                }
                position = 0;
                crc = crc32_combine(crc, block.crc, block.read);
                size += zip_uint64_t(block.read);
                packer->counter.add(file().display, block.read);
            }
            const size_t n = std::min<size_t>(len - copied, block.data.size() - position);
            if (n == 0) {
                continue; // an empty block: an empty file, or one that shrank to a block's edge
            }
            std::memcpy(out + copied, block.data.data() + position, n);
            position += n;
            copied += n;
        }
        return zip_int64_t(copied);
    }

    // Before the data: what the walk found. After it: what was read.
    void stat(zip_stat_t* st) const {
        zip_stat_init(st);
        st->mtime = mtime;
        st->comp_method = file().deflate ? ZIP_CM_DEFLATE : ZIP_CM_STORE;
        st->valid |= ZIP_STAT_MTIME | ZIP_STAT_COMP_METHOD;
        if (ended) {
            st->size = size;
            st->valid |= ZIP_STAT_SIZE;
            if (file().deflate) {
                st->crc = crc;
                st->valid |= ZIP_STAT_CRC;
            }
        } else if (file().size < Zip64From) {
            st->size = static_cast<zip_uint64_t>(file().size);
            st->valid |= ZIP_STAT_SIZE;
        }
    }
};

zip_int64_t pooledCallback(void* userdata, void* data, zip_uint64_t len, zip_source_cmd_t cmd) {
    auto* entry = static_cast<PooledEntry*>(userdata);
    switch (cmd) {
    case ZIP_SOURCE_OPEN:
        return entry->open();
    case ZIP_SOURCE_READ:
        return entry->read(data, len);
    case ZIP_SOURCE_CLOSE:
        entry->block = {};
        return 0;
    case ZIP_SOURCE_STAT: {
        auto* st = ZIP_SOURCE_GET_ARGS(zip_stat_t, data, len, &entry->error);
        if (st == nullptr) {
            return -1;
        }
        entry->stat(st);
        return sizeof(zip_stat_t);
    }
    case ZIP_SOURCE_ERROR:
        return zip_error_to_data(&entry->error, data, len);
    case ZIP_SOURCE_FREE:
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

} // namespace

void ZipPacker::Impl::addFile(const FileToRead& where, const QString& display,
                              const std::string& name) {
    const OpenedFile opened = openRegularFile(where);
    if (opened.notRegular) {
        notice(QStringLiteral("Skipped %1: it is no longer a regular file").arg(display));
        return;
    }
    if (opened.fd < 0) {
        raise(QStringLiteral("Cannot read file '%1': %2").arg(display, systemText(opened.error)));
    }
    const struct stat& st = opened.st;
    const bool store = st.st_size == 0 || compressesPoorly(opened.fd, st.st_size);
    ::close(opened.fd);

    auto* entry = new PooledEntry;
    entry->packer = this;
    entry->planned = planned.size();
    entry->mtime = st.st_mtime;
    zip_error_init(&entry->error);
    zip_source_t* source = zip_source_function(zip, pooledCallback, entry);
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
    const auto at = static_cast<zip_uint64_t>(index);
    planned.push_back({where, display, st.st_size, !store, at, 0});
    counter.total += st.st_size;
    // Deflated by the pool: libzip copies what it is given.
    if (zip_set_file_compression(zip, at, store ? ZIP_CM_STORE : ZIP_CM_DEFLATE,
                                 store ? 0 : DeflateLevel) < 0 ||
        !describe(at, st) || !encrypt(at)) {
        raiseZipError(QStringLiteral("Cannot add file '%1'").arg(display));
    }
}

// Adds what the open folder `dir` holds, `below` its session folder `root`. Links are stored as
// links and never followed: one could lead out of the session's folders to files of another
// user, or back to an ancestor without end. Pipes, sockets and devices are left out, each with
// a line: reading one could block the run forever or never end.
void ZipPacker::Impl::addFolder(int root, int dir, const std::string& below, const QString& display,
                                const std::string& name) {
    for (const std::string& leaf : childNames(dir)) {
        struct stat st {};
        if (::fstatat(dir, leaf.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
            continue; // gone since the folder was read
        }
        const std::string childBelow = below.empty() ? leaf : below + '/' + leaf;
        if (!options.skip.isEmpty() &&
            options.skip.skips(nativeToText(childBelow), S_ISDIR(st.st_mode))) {
            ++skippedByPattern;
            continue;
        }
        const std::string childName = name.empty() // the root: its children are the top level
                                          ? takeTopLevelName(leaf, S_ISDIR(st.st_mode))
                                          : name + '/' + leaf;
        const QString childDisplay = display + QLatin1Char('/') + nativeToText(leaf);
        if (S_ISREG(st.st_mode)) {
            addFile({root, childBelow}, childDisplay, childName);
        } else if (S_ISLNK(st.st_mode)) {
            addLink(dir, leaf, childName, childDisplay, st);
        } else if (S_ISDIR(st.st_mode)) {
            const int child =
                ::openat(dir, leaf.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (child < 0) {
                if (errno == ELOOP || errno == ENOTDIR) {
                    notice(
                        QStringLiteral("Skipped %1: it is no longer a folder").arg(childDisplay));
                    continue;
                }
                raise(QStringLiteral("Cannot read folder '%1': %2")
                          .arg(childDisplay, systemText(errno)));
            }
            addFolderEntry(childName, childDisplay, st);
            try {
                addFolder(root, child, childBelow, childDisplay, childName);
            } catch (...) {
                ::close(child);
                throw;
            }
            ::close(child);
        } else {
            notice(QStringLiteral("Skipped %1: %2").arg(childDisplay, kindNotPacked(st.st_mode)));
        }
    }
}

// A session entry that is itself a link is followed when the user or the system owns it: the
// user named it to have what it points to packed (a Documents folder kept on another disk).
// A link someone else owns in a shared folder is stored as the link it is, so that no other user
// can point a session at files they could not read.
void ZipPacker::Impl::pack(const QString& path) {
    const QString cleaned = QDir::cleanPath(path);
    const std::string native = QFile::encodeName(cleaned).toStdString();
    const size_t slash = native.find_last_of('/');
    const std::string leaf = slash == std::string::npos ? native : native.substr(slash + 1);
    struct stat st {};
    if (::lstat(native.c_str(), &st) != 0) {
        raise(QStringLiteral("Cannot pack '%1': %2").arg(path, systemText(errno)));
    }
    std::string resolved = native;
    if (S_ISLNK(st.st_mode)) {
        if (st.st_uid != ::geteuid() && st.st_uid != 0) {
            addLink(AT_FDCWD, native, takeTopLevelName(leaf, false), cleaned, st);
            return;
        }
        char* real = ::realpath(native.c_str(), nullptr);
        if (real == nullptr || ::lstat(real, &st) != 0) {
            const int error = errno;
            std::free(real);
            raise(QStringLiteral("Cannot pack '%1': %2").arg(path, systemText(error)));
        }
        resolved = real;
        std::free(real);
    }
    if (S_ISREG(st.st_mode)) {
        addFile({AT_FDCWD, resolved}, cleaned, takeTopLevelName(leaf, false));
    } else if (S_ISDIR(st.st_mode)) {
        const int dir = ::open(resolved.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (dir < 0 || ::fstat(dir, &st) != 0) {
            raise(QStringLiteral("Cannot read folder '%1': %2").arg(cleaned, systemText(errno)));
        }
        folders.push_back(dir);
        // Paths inside the archive start at the folder's own name.
        const std::string name = takeTopLevelName(leaf, true);
        if (!name.empty()) {
            addFolderEntry(name, cleaned, st);
        }
        addFolder(dir, dir, {}, cleaned == QLatin1String("/") ? QString() : cleaned, name);
    } else {
        notice(QStringLiteral("Skipped %1: %2").arg(cleaned, kindNotPacked(st.st_mode)));
    }
}

void ZipPacker::Impl::close() {
    if (zip == nullptr) {
        return;
    }
    // The pool reads the files in the order libzip writes them: the order of their entries.
    std::vector<size_t> order(planned.size());
    std::iota(order.begin(), order.end(), size_t(0));
    std::sort(order.begin(), order.end(),
              [this](size_t a, size_t b) { return planned[a].index < planned[b].index; });
    std::vector<DeflatePool::File> files;
    files.reserve(order.size());
    for (const size_t i : order) {
        planned[i].poolIndex = files.size();
        files.push_back({planned[i].where, planned[i].deflate,
                         planned[i].size < Zip64From ? PlainEntryLimit : INT64_MAX});
    }
    pool = std::make_unique<DeflatePool>(std::move(files),
                                         options.workers > 0 ? options.workers : defaultWorkers());
    if (zip_close(zip) == 0) {
        zip = nullptr;
        pool.reset();
        try {
            dropPlaceholders();
            const QByteArray written = QFile::encodeName(work->workPath());
            // libzip makes the file by the umask; the archive holds the user's files.
            if (::chmod(written.constData(), 0600) != 0 && errno != ENOENT) {
                raise(QStringLiteral("Cannot write archive '%1': %2")
                          .arg(archivePath, systemText(errno)));
            }
            work->publish();
        } catch (...) {
            discard();
            throw;
        }
        work.reset();
        reset();
        return;
    }
    const QString reason = QString::fromLocal8Bit(zip_strerror(zip));
    const QString failed = failedPath;
    const bool wasCancelled = cancelled;
    discard();
    if (wasCancelled) {
        raise(QStringLiteral("Packing of archive '%1' was cancelled").arg(archivePath));
    }
    if (!failed.isEmpty()) {
        raise(QStringLiteral("Cannot read file '%1' for archive '%2': %3")
                  .arg(failed, archivePath, reason));
    }
    raise(QStringLiteral("Cannot write archive '%1': %2").arg(archivePath, reason));
}

// The entries of skipped files come out again; libzip copies the others as they are.
void ZipPacker::Impl::dropPlaceholders() {
    if (placeholders.empty()) {
        return;
    }
    int code = 0;
    zip_t* again = zip_open(QFile::encodeName(work->workPath()).constData(), 0, &code);
    if (again == nullptr) {
        raise(QStringLiteral("Cannot write archive '%1': libzip error %2")
                  .arg(archivePath)
                  .arg(code));
    }
    for (const zip_uint64_t index : placeholders) {
        zip_delete(again, index);
    }
    if (zip_close(again) != 0) {
        const QString reason = QString::fromLocal8Bit(zip_strerror(again));
        zip_discard(again);
        raise(QStringLiteral("Cannot write archive '%1': %2").arg(archivePath, reason));
    }
}

ZipPacker::ZipPacker(PackOptions options)
    : m_impl(std::make_unique<Impl>()) {
    m_impl->options = std::move(options);
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

void ZipPacker::cancel() {
    m_impl->cancelled = true;
}

void ZipPacker::setProgress(PackProgress progress) {
    m_impl->counter.report = std::move(progress);
}

int ZipPacker::skippedByPattern() const {
    return m_impl->skippedByPattern;
}

int PackFiles(int count, const QString& archivePath, const FileSlots& fileSlots,
              PackProgress progress, PackOptions options) {
    ZipPacker packer(std::move(options));
    packer.setProgress(std::move(progress));
    for (int k = 1; k <= count; ++k) {
        const QString& path = fileSlots[k];
        if (!path.isEmpty()) {
            packer.Pack(path, archivePath);
        }
    }
    const int skipped = packer.skippedByPattern();
    packer.close();
    return skipped;
}
