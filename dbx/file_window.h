#pragma once
// A forward-only window on a byte source, filled by large positional reads. The scan asks for a
// few bytes at a file offset; the window keeps what is still ahead and moves on to the
// next chunk when it runs short. Bytes at or beyond the end of the file read as 0xFF, as
// the word reader has them. A thread of its own reads the chunks ahead of the scan, so
// reading the file and looking at it go on side by side.
//
// A chunk that cannot be read whole is read again in smaller pieces, down to single
// sectors, so that everything around a bad sector is still read. The bytes that could not
// be read are listed, and read as 0xFF meanwhile.

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "dbx/dbx.h"
#include "platform/memory.h"

// Reads a source chunk after chunk from `start` to `end`, a few chunks ahead of the one
// being looked at. Each buffer has room before its data (for bytes carried over from the
// chunk before) and after it (for the 0xFF padding past the end of the file).
class chunk_reader {
  public:
    static constexpr size_t margin = 64;
    // Chunks smaller than this are read in place, without the reading thread.
    static constexpr size_t read_ahead_least = 4096;
    // The smallest piece a failed read is retried in.
    static constexpr uint64_t sector = 512;

    chunk_reader(platform::byte_source& source, uint64_t start, uint64_t end, size_t chunk);
    ~chunk_reader();
    chunk_reader(const chunk_reader&) = delete;
    chunk_reader& operator=(const chunk_reader&) = delete;

    struct chunk {
        int buffer = -1;                           // which buffer; -1 when there are no more chunks
        unsigned char* data = nullptr;             // `margin` bytes of room lie before and after
        size_t length = 0;                         // shorter than a chunk: the end of the file
        std::vector<unreadable_range> unreadable;  // inside this chunk, in file order
    };
    // Waits for the next chunk in file order.
    chunk next();
    // Hands a buffer back once nothing in it is needed any more.
    void release(int buffer);

  private:
    void read_ahead();
    chunk read_into(int buffer);
    void read_range(chunk& into, uint64_t from, uint64_t to);

    platform::byte_source& source_;
    uint64_t offset_;  // where the next chunk starts
    uint64_t end_;
    size_t chunk_;
    bool ahead_;
    size_t buffer_size() const { return chunk_ + 2 * margin; }

    platform::page_memory buffers_;  // one after the other
    std::mutex lock_;
    std::condition_variable changed_;
    std::deque<int> free_;
    std::deque<chunk> ready_;
    bool finished_ = false;  // the last chunk has been read
    bool stopping_ = false;
    std::thread reader_;
};

class file_window {
  public:
    // The window starts at offset `start` and ends at the source's size; reads go `chunk`
    // bytes at a time.
    file_window(platform::byte_source& source, uint64_t start, size_t chunk);

    // The longest run of bytes `at` may be asked for.
    static constexpr size_t max_request = 32;

    // Points at the `length` bytes (at most max_request) from file offset `offset`,
    // which must not lie before the offset of the previous request.
    const unsigned char* at(uint64_t offset, size_t length) {
        if (offset + length > end_) fill(offset, length);
        return window_ + (offset - base_);
    }

    // Whether `at` for these bytes points into what the window holds now, without moving
    // on: once it moves, pointers it gave before may no longer hold the bytes.
    bool holds(uint64_t offset, size_t length) const { return offset + length <= end_; }

    // False when any of the `length` bytes from `offset` could not be read. Asked in
    // increasing order of offset, after `at` for the same bytes.
    bool readable(uint64_t offset, size_t length);

    // File offset just past the bytes read from the file so far.
    uint64_t data_end() const { return base_ + length_; }
    // The ranges that could not be read so far, in file order.
    std::vector<unreadable_range>& unreadable() { return unreadable_; }

  private:
    void fill(uint64_t offset, size_t length);
    void take_unreadable(std::vector<unreadable_range>& ranges);

    chunk_reader reader_;
    chunk_reader::chunk current_;
    unsigned char* window_;  // the byte at file offset base_
    uint64_t base_;
    size_t length_ = 0;  // bytes of file data from window_ on
    uint64_t end_;       // offset up to which `at` needs no fill (past the end: padding)
    bool at_end_ = false;
    std::vector<unreadable_range> unreadable_;
    size_t passed_ = 0;  // ranges wholly before the last offset asked about
    unsigned char padding_[2 * max_request];
};
