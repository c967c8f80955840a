#include "dbx/file_window.h"

#include <algorithm>
#include <cstring>

file_window::file_window(FILE* file, uint64_t start, size_t chunk)
    : file_(file),
      chunk_(std::max<size_t>(chunk, 1)),
      bytes_(chunk_ + 2 * max_request),
      base_(start),
      end_(start) {}

// Drops what lies before `offset`, keeps the rest and reads on until `length` bytes from
// `offset` are there. At the end of the file the bytes that follow are 0xFF padding.
void file_window::fill(uint64_t offset, size_t length) {
    uint64_t held_end = base_ + length_;
    if (offset >= held_end) {
        skip(offset - held_end);
        length_ = 0;
    } else {
        size_t keep = size_t(held_end - offset);
        std::memmove(bytes_.data(), bytes_.data() + (offset - base_), keep);
        length_ = keep;
    }
    base_ = offset;
    while (length_ < length && !at_end_) read_chunk();
    if (at_end_) {
        std::memset(bytes_.data() + length_, 0xFF, bytes_.size() - length_);
        end_ = base_ + length_ + max_request;
    } else {
        end_ = base_ + length_;
    }
}

// Reads past `count` bytes that nobody asked for (the rest of a block's data area).
void file_window::skip(uint64_t count) {
    while (count > 0 && !at_end_) {
        size_t want = size_t(std::min<uint64_t>(count, bytes_.size()));
        size_t got = std::fread(bytes_.data(), 1, want, file_);
        if (got < want) at_end_ = true;
        count -= got;
    }
}

// Appends one chunk; a short read means the end of the file (or an error, which the byte
// reader treats the same way).
void file_window::read_chunk() {
    size_t want = std::min(chunk_, bytes_.size() - max_request - length_);
    size_t got = std::fread(bytes_.data() + length_, 1, want, file_);
    if (got < want) at_end_ = true;
    length_ += got;
}
