#pragma once
// A forward-only window on a stream, filled by large reads. The scan asks for a few bytes
// at a file offset; the window keeps what is still ahead and moves on to the next chunk
// when it runs short. Bytes at or beyond the end of the file read as 0xFF, as the word
// reader has them. A thread of its own reads the chunks ahead of the scan, so reading
// the file and looking at it go on side by side.

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

// Reads a stream chunk after chunk, a few chunks ahead of the one being looked at. Each
// buffer has room before its data (for bytes carried over from the chunk before) and
// after it (for the 0xFF padding past the end of the file).
class chunk_reader {
public:
    static constexpr size_t margin = 64;
    // Chunks smaller than this are read in place, without the reading thread.
    static constexpr size_t read_ahead_least = 4096;

    chunk_reader(FILE* file, size_t chunk);
    ~chunk_reader();
    chunk_reader(const chunk_reader&) = delete;
    chunk_reader& operator=(const chunk_reader&) = delete;

    struct chunk {
        int buffer = -1;              // which buffer; -1 when there are no more chunks
        unsigned char* data = nullptr;  // `margin` bytes of room lie before and after
        size_t length = 0;            // shorter than a chunk: the end of the file
    };
    // Waits for the next chunk in file order.
    chunk next();
    // Hands a buffer back once nothing in it is needed any more.
    void release(int buffer);

private:
    void read_ahead();
    chunk read_into(int buffer);

    FILE* file_;
    size_t chunk_;
    bool ahead_;
    std::vector<std::vector<unsigned char>> buffers_;
    std::mutex lock_;
    std::condition_variable changed_;
    std::deque<int> free_;
    std::deque<chunk> ready_;
    bool finished_ = false;  // the reading thread has read its last chunk
    bool stopping_ = false;
    std::thread reader_;
};

class file_window {
public:
    // The stream stands at file offset `start`; reads go `chunk` bytes at a time.
    file_window(FILE* file, uint64_t start, size_t chunk);

    // The longest run of bytes `at` may be asked for.
    static constexpr size_t max_request = 32;

    // Points at the `length` bytes (at most max_request) from file offset `offset`,
    // which must not lie before the offset of the previous request.
    const unsigned char* at(uint64_t offset, size_t length) {
        if (offset + length > end_) fill(offset, length);
        return window_ + (offset - base_);
    }

    // File offset just past the bytes read from the file so far.
    uint64_t data_end() const { return base_ + length_; }
    // True once the end of the file (or a read error) has been met.
    bool at_end() const { return at_end_; }

private:
    void fill(uint64_t offset, size_t length);
    bool advance(uint64_t offset);

    chunk_reader reader_;
    chunk_reader::chunk current_;
    unsigned char* window_;  // the byte at file offset base_
    uint64_t base_;
    size_t length_ = 0;  // bytes of file data from window_ on
    uint64_t end_;       // offset up to which `at` needs no fill (past the end: padding)
    bool at_end_ = false;
    unsigned char padding_[2 * max_request];
};
