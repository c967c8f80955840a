#pragma once
// A forward-only window on a stream, filled by large reads. The scan asks for a few bytes
// at a file offset; the window keeps what is still ahead and reads the next chunk when
// it runs short. Bytes at or beyond the end of the file read as 0xFF, as the word reader
// has them.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <vector>

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
        return bytes_.data() + (offset - base_);
    }

    // File offset just past the bytes read from the file so far.
    uint64_t data_end() const { return base_ + length_; }
    // True once the end of the file (or a read error) has been met.
    bool at_end() const { return at_end_; }

  private:
    void fill(uint64_t offset, size_t length);
    void skip(uint64_t count);
    void read_chunk();

    FILE* file_;
    size_t chunk_;
    std::vector<unsigned char> bytes_;
    uint64_t base_;      // file offset of bytes_[0]
    size_t length_ = 0;  // bytes of file data in bytes_
    uint64_t end_;       // offset up to which `at` needs no fill (past the end: padding)
    bool at_end_ = false;
};
