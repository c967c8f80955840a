#include "platform/read_ahead.h"

#include <algorithm>
#include <new>

namespace platform {

chunk_read_ahead::chunk_read_ahead(uint64_t chunk_size, uint64_t size, size_t ahead, size_t kept)
    : chunk_size_(chunk_size),
      size_(size),
      chunks_(chunk_size == 0 ? 0 : (size + chunk_size - 1) / chunk_size),
      ahead_(ahead),
      kept_(kept) {}

chunk_bytes chunk_read_ahead::take(uint64_t index) {
    std::unique_lock<std::mutex> hold(lock_);
    if (index != last_) {
        streak_ = last_ != UINT64_MAX && index == last_ + 1 ? streak_ + 1 : 0;
        last_ = index;
        if (streak_ > 1) changed_.notify_all();
    }
    for (;;) {
        auto found = entries_.find(index);
        if (found == entries_.end()) {
            entries_.emplace(index, entry{});  // pending: the reader's
            return nullptr;
        }
        entry& at = found->second;
        if (at.pending) {
            changed_.wait(hold);
            continue;
        }
        if (!at.bytes) {  // the second thread could not decode it
            used_.erase(at.used);
            at.pending = true;
            return nullptr;
        }
        if (at.ahead) {
            at.ahead = false;
            ++used_ahead_;
        }
        used_.splice(used_.begin(), used_, at.used);
        return at.bytes;
    }
}

void chunk_read_ahead::keep(uint64_t index, chunk_bytes bytes) {
    std::lock_guard<std::mutex> hold(lock_);
    settle(index, std::move(bytes), false);
}

// As many chunks are wanted ahead as the reader has read in order so far, up to the room
// for them: a read that merely crosses into the next chunk wants none. The chunk right
// after the reader's is left to the reader, which is about to ask for it: the two threads
// then decode side by side instead of the reader waiting for each chunk.
std::optional<uint64_t> chunk_read_ahead::next_wanted() const {
    if (stopped_) return std::nullopt;
    uint64_t end = std::min<uint64_t>(chunks_, last_ + 1 + std::min<uint64_t>(ahead_, streak_));
    for (uint64_t index = last_ + 2; index < end; ++index)
        if (entries_.count(index) == 0) return index;
    return std::nullopt;
}

bool chunk_read_ahead::step(chunk_reader& reader) {
    uint64_t index = 0;
    {
        std::lock_guard<std::mutex> hold(lock_);
        std::optional<uint64_t> wanted = next_wanted();
        if (!wanted) return false;
        index = *wanted;
        entries_.emplace(index, entry{});
    }
    std::shared_ptr<std::vector<char>> bytes;
    uint64_t start = index * chunk_size_;
    uint64_t length = std::min(chunk_size_, size_ - start);
    bool read = false;
    try {  // short of memory, the chunk is left to the reader
        bytes = std::make_shared<std::vector<char>>();
        read = reader.read_chunk(index, size_t(length), *bytes);
    } catch (const std::bad_alloc&) {
    }
    std::lock_guard<std::mutex> hold(lock_);
    ++decoded_ahead_;
    settle(index, read ? chunk_bytes(std::move(bytes)) : nullptr, true);
    return true;
}

bool chunk_read_ahead::wait_for_work() {
    std::unique_lock<std::mutex> hold(lock_);
    changed_.wait(hold, [this] { return stopped_ || next_wanted().has_value(); });
    return !stopped_;
}

void chunk_read_ahead::stop() {
    std::lock_guard<std::mutex> hold(lock_);
    stopped_ = true;
    changed_.notify_all();
}

uint64_t chunk_read_ahead::decoded_ahead() const {
    std::lock_guard<std::mutex> hold(lock_);
    return decoded_ahead_;
}

uint64_t chunk_read_ahead::used_ahead() const {
    std::lock_guard<std::mutex> hold(lock_);
    return used_ahead_;
}

// A chunk decoded, or found not to decode, joins the chunks kept; the one used longest ago
// goes when there are more than the room for them.
void chunk_read_ahead::settle(uint64_t index, chunk_bytes bytes, bool ahead) {
    entry& at = entries_[index];
    at.pending = false;
    at.ahead = ahead && bytes != nullptr;
    at.bytes = std::move(bytes);
    used_.push_front(index);
    at.used = used_.begin();
    while (used_.size() > ahead_ + kept_) {
        entries_.erase(used_.back());
        used_.pop_back();
    }
    changed_.notify_all();
}

}  // namespace platform
