#include "dbx/file_window.h"

#include <algorithm>
#include <cstring>

namespace {

// Three buffers: one being looked at, one read ahead, one being read. Without the
// reading thread, two: the one being left and the next.
constexpr int buffer_count = 3;
constexpr int buffer_count_in_place = 2;

}  // namespace

chunk_reader::chunk_reader(FILE* file, size_t chunk)
    : file_(file), chunk_(std::max<size_t>(chunk, 1)), ahead_(chunk_ >= read_ahead_least) {
    for (int i = 0; i < (ahead_ ? buffer_count : buffer_count_in_place); ++i) {
        buffers_.emplace_back(chunk_ + 2 * margin);
        free_.push_back(i);
    }
    if (ahead_) reader_ = std::thread([this] { read_ahead(); });
}

chunk_reader::~chunk_reader() {
    if (!ahead_) return;
    {
        std::lock_guard<std::mutex> hold(lock_);
        stopping_ = true;
    }
    changed_.notify_all();
    reader_.join();
}

chunk_reader::chunk chunk_reader::read_into(int buffer) {
    unsigned char* data = buffers_[buffer].data() + margin;
    return chunk{buffer, data, std::fread(data, 1, chunk_, file_)};
}

// The reading thread: fills free buffers in file order until a short read ends the file.
void chunk_reader::read_ahead() {
    for (;;) {
        int buffer;
        {
            std::unique_lock<std::mutex> hold(lock_);
            changed_.wait(hold, [this] { return stopping_ || !free_.empty(); });
            if (stopping_) return;
            buffer = free_.front();
            free_.pop_front();
        }
        chunk read = read_into(buffer);
        {
            std::lock_guard<std::mutex> hold(lock_);
            ready_.push_back(read);
            finished_ = read.length < chunk_;
        }
        changed_.notify_all();
        if (read.length < chunk_) return;
    }
}

chunk_reader::chunk chunk_reader::next() {
    if (!ahead_) {  // small chunks are read in place: handing each over would cost more
        if (finished_) return chunk{};
        chunk read = read_into(free_.front());
        free_.pop_front();
        finished_ = read.length < chunk_;
        return read;
    }
    std::unique_lock<std::mutex> hold(lock_);
    changed_.wait(hold, [this] { return !ready_.empty() || finished_; });
    if (ready_.empty()) return chunk{};
    chunk taken = ready_.front();
    ready_.pop_front();
    return taken;
}

void chunk_reader::release(int buffer) {
    if (buffer < 0) return;
    if (!ahead_) {
        free_.push_back(buffer);
        return;
    }
    {
        std::lock_guard<std::mutex> hold(lock_);
        free_.push_back(buffer);
    }
    changed_.notify_all();
}

file_window::file_window(FILE* file, uint64_t start, size_t chunk)
    : reader_(file, chunk), window_(padding_), base_(start), end_(start) {}

// Drops what lies before `offset` and moves on until `length` bytes from `offset` are
// there. Bytes still needed from the chunk being left (fewer than `length`) are copied
// into the room before the next one. At the end of the file the bytes that follow are
// 0xFF padding.
void file_window::fill(uint64_t offset, size_t length) {
    while (!at_end_ && base_ + length_ < offset + length) {
        chunk_reader::chunk next = reader_.next();
        if (next.buffer < 0) {
            at_end_ = true;
            break;
        }
        uint64_t held_end = base_ + length_;
        size_t keep = offset < held_end ? size_t(held_end - offset) : 0;
        std::memcpy(next.data - keep, window_ + (held_end - keep - base_), keep);
        reader_.release(current_.buffer);
        current_ = next;
        window_ = next.data - keep;
        base_ = held_end - keep;
        length_ = keep + next.length;
    }
    if (!at_end_) {
        end_ = base_ + length_;
        return;
    }
    if (offset > base_ + length_) {  // wholly past the end of the file
        window_ = padding_;
        base_ = offset;
        length_ = 0;
    }
    std::memset(window_ + length_, 0xFF, max_request);
    end_ = base_ + length_ + max_request;
}
