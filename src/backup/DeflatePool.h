#pragma once

#include "ReadableFile.h"

#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

// Reads files in order and deflates them on several threads at once, for a writer that takes
// the output file by file, in the same order. Large files are cut into blocks that are deflated
// apart, each primed with the 32 KiB before it, and joined into one deflate stream: nearly the
// size one thread would give. Only a few blocks are held at a time, so memory stays small
// whatever the files' sizes.
class DeflatePool {
public:
    struct File {
        FileToRead where;
        bool deflate = true; // else the bytes as read
        // At most this much is read, whatever the file holds when opened.
        std::int64_t limit = INT64_MAX;
    };
    enum class State { Waiting, Open, NotRegular, Failed };
    // One piece of a file's output.
    struct Block {
        std::vector<unsigned char> data;
        std::uint32_t crc = 0; // of the bytes read, when deflated
        std::int64_t read = 0; // bytes read for it
        int error = 0;         // errno of a failed read: the file ends here
    };

    DeflatePool(std::vector<File> files, int workers);
    ~DeflatePool(); // stops the workers and waits for them
    DeflatePool(const DeflatePool&) = delete;
    DeflatePool& operator=(const DeflatePool&) = delete;

    // Waits until file `i` is opened or found unreadable; `error` then holds errno.
    State opened(std::size_t i, int& error);
    // The next block of file `i`; false after its last one, or once stopped.
    bool next(std::size_t i, Block& block);
    // Ends the work early: the workers stop after the block each is deflating.
    void stop();

private:
    struct Progress; // per file, kept by the workers under m_readLock
    void work();
    bool claim(std::size_t& file, std::size_t& block, Block& out, bool& last);

    std::vector<File> m_files;
    std::vector<Progress> m_progress;
    std::mutex m_readLock;  // one reader at a time, so each file is read front to back
    std::size_t m_file = 0; // the next block to read, under m_readLock
    std::size_t m_block = 0;

    std::mutex m_lock; // everything below
    std::condition_variable m_changed;
    std::vector<State> m_state;
    std::vector<int> m_error;
    std::vector<std::size_t> m_blockCount; // known once opened
    std::vector<std::size_t> m_taken;      // blocks the writer took
    std::map<std::pair<std::size_t, std::size_t>, Block> m_done;
    std::size_t m_outstanding = 0; // blocks read and not yet taken
    std::size_t m_window = 0;
    bool m_stopping = false;
    std::vector<std::thread> m_workers;
};
