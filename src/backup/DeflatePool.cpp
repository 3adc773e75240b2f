#include "DeflatePool.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>
#include <zlib.h>

namespace {

// Large enough that the seams cost nothing measurable, small enough that the blocks in flight
// take a few megabytes.
constexpr std::size_t BlockSize = 1024 * 1024;
// Deflate looks back this far: each block is primed with what came before it.
constexpr std::size_t Window = 32 * 1024;
// The level Info-ZIP uses by default: level 9 costs twice the time for a few tenths of a percent.
constexpr int Level = 6;
constexpr std::size_t Unknown = SIZE_MAX;

void deflateBlock(z_stream& zs, const std::vector<unsigned char>& dict,
                  std::vector<unsigned char>& input, bool last, DeflatePool::Block& out) {
    deflateReset(&zs);
    if (!dict.empty()) {
        deflateSetDictionary(&zs, dict.data(), static_cast<uInt>(dict.size()));
    }
    out.crc = static_cast<std::uint32_t>(crc32(0, input.data(), static_cast<uInt>(input.size())));
    out.data.resize(deflateBound(&zs, static_cast<uLong>(input.size())) + 16);
    zs.next_in = input.data();
    zs.avail_in = static_cast<uInt>(input.size());
    zs.next_out = out.data.data();
    zs.avail_out = static_cast<uInt>(out.data.size());
    // A block that is not the last ends on a byte boundary, so the next one can follow it.
    const int flush = last ? Z_FINISH : Z_SYNC_FLUSH;
    for (;;) {
        const int result = deflate(&zs, flush);
        if (last ? result == Z_STREAM_END : zs.avail_in == 0 && zs.avail_out > 0) {
            break;
        }
        const std::size_t used = out.data.size() - zs.avail_out;
        out.data.resize(out.data.size() * 2);
        zs.next_out = out.data.data() + used;
        zs.avail_out = static_cast<uInt>(out.data.size() - used);
    }
    out.data.resize(out.data.size() - zs.avail_out);
}

} // namespace

struct DeflatePool::Progress {
    int fd = -1;
    bool opened = false;
    std::int64_t offset = 0;
    std::int64_t limit = 0;
    std::vector<unsigned char> tail; // the last bytes read, up to a deflate window
};

DeflatePool::DeflatePool(std::vector<File> files, int workers)
    : m_files(std::move(files))
    , m_progress(m_files.size())
    , m_state(m_files.size(), State::Waiting)
    , m_error(m_files.size(), 0)
    , m_blockCount(m_files.size(), Unknown)
    , m_taken(m_files.size(), 0) {
    workers = std::max(workers, 1);
    m_window = 2 * static_cast<std::size_t>(workers) + 2;
    for (int i = 0; i < workers; ++i) {
        m_workers.emplace_back([this] { work(); });
    }
}

DeflatePool::~DeflatePool() {
    stop();
    for (std::thread& worker : m_workers) {
        worker.join();
    }
    for (const Progress& p : m_progress) {
        if (p.fd >= 0) {
            ::close(p.fd);
        }
    }
}

void DeflatePool::stop() {
    {
        const std::lock_guard lock(m_lock);
        m_stopping = true;
    }
    m_changed.notify_all();
}

DeflatePool::State DeflatePool::opened(std::size_t i, int& error) {
    std::unique_lock lock(m_lock);
    m_changed.wait(lock, [&] { return m_stopping || m_state[i] != State::Waiting; });
    if (m_state[i] == State::Waiting) {
        error = ECANCELED;
        return State::Failed;
    }
    error = m_error[i];
    return m_state[i];
}

bool DeflatePool::next(std::size_t i, Block& block) {
    std::unique_lock lock(m_lock);
    const std::size_t k = m_taken[i];
    const auto key = std::make_pair(i, k);
    m_changed.wait(lock,
                   [&] { return m_stopping || m_done.count(key) > 0 || k >= m_blockCount[i]; });
    const auto found = m_done.find(key);
    if (found == m_done.end()) {
        return false;
    }
    block = std::move(found->second);
    m_done.erase(found);
    ++m_taken[i];
    --m_outstanding;
    lock.unlock();
    m_changed.notify_all();
    return true;
}

void DeflatePool::work() {
    z_stream zs{};
    if (deflateInit2(&zs, Level, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
        return; // the writer then waits on the other workers; one always starts
    }
    for (;;) {
        std::size_t file = 0;
        std::size_t block = 0;
        bool last = false;
        Block out;
        std::vector<unsigned char> input;
        std::vector<unsigned char> dict;
        {
            std::unique_lock reading(m_readLock);
            if (!claim(file, block, out, last)) {
                break;
            }
            input = std::move(out.data);
            Progress& p = m_progress[file];
            if (m_files[file].deflate) {
                dict = p.tail;
            }
            if (m_files[file].deflate && !last) {
                if (input.size() >= Window) {
                    p.tail.assign(input.end() - Window, input.end());
                } else {
                    p.tail.insert(p.tail.end(), input.begin(), input.end());
                    if (p.tail.size() > Window) {
                        p.tail.erase(p.tail.begin(),
                                     p.tail.end() - static_cast<std::ptrdiff_t>(Window));
                    }
                }
            }
        }
        if (m_files[file].deflate && out.error == 0) {
            deflateBlock(zs, dict, input, last, out);
        } else {
            out.data = std::move(input);
        }
        {
            const std::lock_guard lock(m_lock);
            m_done[{file, block}] = std::move(out);
        }
        m_changed.notify_all();
    }
    deflateEnd(&zs);
}

// Under m_readLock: takes the next block in order and reads it into `out.data`, opening its
// file first when it is the first. False once stopped or at the end of the files.
bool DeflatePool::claim(std::size_t& file, std::size_t& block, Block& out, bool& last) {
    {
        std::unique_lock lock(m_lock);
        m_changed.wait(lock, [&] { return m_stopping || m_outstanding < m_window; });
        if (m_stopping) {
            return false;
        }
        ++m_outstanding;
    }
    while (m_file < m_files.size() && !m_progress[m_file].opened) {
        Progress& p = m_progress[m_file];
        const OpenedFile opened = openRegularFile(m_files[m_file].where);
        p.opened = true;
        p.fd = opened.fd;
        p.limit =
            opened.fd >= 0 ? std::min<std::int64_t>(opened.st.st_size, m_files[m_file].limit) : 0;
        {
            const std::lock_guard lock(m_lock);
            m_state[m_file] = opened.fd >= 0      ? State::Open
                              : opened.notRegular ? State::NotRegular
                                                  : State::Failed;
            m_error[m_file] = opened.error;
            if (opened.fd < 0) {
                m_blockCount[m_file] = 0;
            }
        }
        m_changed.notify_all();
        if (opened.fd >= 0) {
            ::posix_fadvise(opened.fd, 0, 0, POSIX_FADV_SEQUENTIAL);
            break;
        }
        ++m_file;
    }
    if (m_file >= m_files.size()) {
        const std::lock_guard lock(m_lock);
        --m_outstanding;
        return false;
    }
    Progress& p = m_progress[m_file];
    file = m_file;
    block = m_block;
    const auto want = static_cast<std::size_t>(
        std::min<std::int64_t>(static_cast<std::int64_t>(BlockSize), p.limit - p.offset));
    out.data.resize(want);
    std::size_t got = 0;
    while (got < want) {
        const ssize_t n = ::pread(p.fd, out.data.data() + got, want - got, p.offset + off_t(got));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            out.error = errno;
        }
        if (n <= 0) {
            break;
        }
        got += static_cast<std::size_t>(n);
    }
    out.data.resize(got);
    out.read = static_cast<std::int64_t>(got);
    p.offset += out.read;
    // A file that shrank ends where it ends now; one that grew ends where it ended when opened.
    last = got < want || p.offset >= p.limit || out.error != 0;
    if (last) {
        ::close(p.fd);
        p.fd = -1;
        {
            const std::lock_guard lock(m_lock);
            m_blockCount[m_file] = m_block + 1;
        }
        ++m_file;
        m_block = 0;
    } else {
        ++m_block;
    }
    return true;
}
