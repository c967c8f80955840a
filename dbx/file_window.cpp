#include "dbx/file_window.h"

#include <algorithm>
#include <cstring>
#include <system_error>

#include "platform/read.h"

#if defined(__SANITIZE_ADDRESS__)
#define MORVALE_ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define MORVALE_ADDRESS_SANITIZER 1
#endif
#endif
#if defined(MORVALE_ADDRESS_SANITIZER)
#include <sanitizer/asan_interface.h>
#endif

namespace {

// A buffer handed back is off limits until it is read into again: under AddressSanitizer
// a look at it, through a pointer kept from before, is caught.
void close_buffer(unsigned char* start, size_t length) {
#if defined(MORVALE_ADDRESS_SANITIZER)
    ASAN_POISON_MEMORY_REGION(start, length);
#else
    (void)start;
    (void)length;
#endif
}

void open_buffer(unsigned char* start, size_t length) {
#if defined(MORVALE_ADDRESS_SANITIZER)
    ASAN_UNPOISON_MEMORY_REGION(start, length);
#else
    (void)start;
    (void)length;
#endif
}

// Three buffers: one being looked at, one read ahead, one being read. Without the
// reading thread, two: the one being left and the next.
constexpr int buffer_count = 3;
constexpr int buffer_count_in_place = 2;

// Adds [start, end) to a list in file order, joining it to the last range when they meet.
void add_range(std::vector<unreadable_range>& ranges, uint64_t start, uint64_t end, int error) {
    if (!ranges.empty() && ranges.back().end == start && ranges.back().error == error) {
        ranges.back().end = end;
        return;
    }
    ranges.push_back({start, end, error});
}

}  // namespace

chunk_reader::chunk_reader(platform::byte_source& source, uint64_t start, uint64_t end,
                           size_t chunk)
    : source_(source),
      offset_(start),
      end_(std::max(start, end)),
      chunk_(std::max<size_t>(chunk, 1)),
      ahead_(chunk_ >= read_ahead_least) {
    int count = ahead_ ? buffer_count : buffer_count_in_place;
    // Left unfilled: the reading thread writes each byte before it is looked at.
    buffers_ = platform::page_memory(count * buffer_size());
    for (int i = 0; i < count; ++i) free_.push_back(i);
    if (!ahead_) return;
    try {
        reader_ = std::thread([this] { read_ahead(); });
    } catch (const std::system_error&) {  // no thread to be had: the chunks are read in place
        ahead_ = false;
    }
}

chunk_reader::~chunk_reader() {
    if (ahead_) {
        {
            std::lock_guard<std::mutex> hold(lock_);
            stopping_ = true;
        }
        changed_.notify_all();
        reader_.join();
    }
    open_buffer(buffers_.data(), buffers_.size());  // the memory may be handed out again
}

// Reads [from, to) of the file into the chunk that starts at `into`'s offset. What a
// read leaves out is read again in two halves split at a sector boundary, until the
// pieces that still fail are single sectors: those are listed as unreadable.
void chunk_reader::read_range(chunk& into, uint64_t from, uint64_t to) {
    uint64_t chunk_start = offset_ - into.length;
    unsigned char* at = into.data + (from - chunk_start);
    platform::read_outcome read = source_.read(from, at, size_t(to - from));
    if (read.count == to - from) return;
    uint64_t failed = from + read.count;
    // A file that became shorter than it was at the start: its missing bytes are
    // unreadable, never taken for the end of the file, and reading them again in pieces
    // gives no more.
    int error = read.error != 0 ? read.error : EIO;
    if (error == platform::file_shrank || to - failed <= sector) {
        std::memset(into.data + (failed - chunk_start), 0xFF, size_t(to - failed));
        add_range(into.unreadable, failed, to, error);
        return;
    }
    uint64_t middle = (failed + (to - failed) / 2) / sector * sector;
    if (middle <= failed) middle = failed / sector * sector + sector;
    read_range(into, failed, middle);
    read_range(into, middle, to);
}

chunk_reader::chunk chunk_reader::read_into(int buffer) {
    open_buffer(buffers_.data() + buffer * buffer_size(), buffer_size());
    chunk read{buffer,
               buffers_.data() + buffer * buffer_size() + margin,
               size_t(std::min<uint64_t>(chunk_, end_ - offset_)),
               {}};
    offset_ += read.length;
    read_range(read, offset_ - read.length, offset_);
    return read;
}

// The reading thread: fills free buffers in file order until the end of the file.
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
        bool last = read.length < chunk_;
        {
            std::lock_guard<std::mutex> hold(lock_);
            ready_.push_back(std::move(read));
            finished_ = last;
        }
        changed_.notify_all();
        if (last) return;
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
    chunk taken = std::move(ready_.front());
    ready_.pop_front();
    return taken;
}

void chunk_reader::release(int buffer) {
    if (buffer < 0) return;
    close_buffer(buffers_.data() + buffer * buffer_size(), buffer_size());
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

file_window::file_window(platform::byte_source& source, uint64_t start, size_t chunk)
    : reader_(source, start, source.size(), chunk), window_(padding_), base_(start), end_(start) {}

void file_window::take_unreadable(std::vector<unreadable_range>& ranges) {
    for (const unreadable_range& range : ranges)
        add_range(unreadable_, range.start, range.end, range.error);
}

bool file_window::readable(uint64_t offset, size_t length) {
    while (passed_ < unreadable_.size() && unreadable_[passed_].end <= offset) ++passed_;
    return passed_ == unreadable_.size() || unreadable_[passed_].start >= offset + length;
}

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
        take_unreadable(next.unreadable);
        uint64_t held_end = base_ + length_;
        size_t keep = offset < held_end ? size_t(held_end - offset) : 0;
        std::memcpy(next.data - keep, window_ + (held_end - keep - base_), keep);
        reader_.release(current_.buffer);
        current_ = std::move(next);
        window_ = current_.data - keep;
        base_ = held_end - keep;
        length_ = keep + current_.length;
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
