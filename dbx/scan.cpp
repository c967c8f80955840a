// The whole-file block scan. It walks the file position by position exactly as a reader
// taking one word at a time would, printing the same progress updates at the same
// positions, but it reads the file in large chunks and passes over the long stretches
// where no word equals its own offset without looking at them one by one.

#include "dbx/scan.h"

#include <algorithm>
#include <cstdio>

#include "dbx/file_window.h"
#include "dbx/link_index.h"
#include "dbx/layout.h"
#include "platform/view.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace {

size_t chunk_size = size_t(1) << 20;

using namespace dbx_layout;

// The run is asked whether to go on each time the scan has covered this much of the file.
constexpr uint64_t checkpoint_interval = 16 * 1024;
constexpr uint64_t prefetch_distance = 8 * block_size;

enum class block_kind { none, live, freed };

// Room for `count` entries, so that the list never moves while it grows. Only the entries
// written take up memory. On Linux the room is backed by large pages where it can be: a
// large store fills tens of megabytes of entries, and taking them 4 KiB at a time costs
// more than writing them.
void reserve_blocks(dbx_block_list_t& list, size_t count) {
    list.blocks.reserve(count);
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    constexpr uintptr_t large_page = uintptr_t(2) << 20;
    uintptr_t start = uintptr_t(list.blocks.data());
    uintptr_t begin = (start + large_page - 1) & ~(large_page - 1);
    uintptr_t end = (start + count * sizeof(dbx_block_t)) & ~(large_page - 1);
    if (end > begin) madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
#endif
}

// Decides whether the five words at `pos` begin a block, and of which list. A word is in
// range when it lies below `limit`, the scanned size.
block_kind block_test(const unsigned char* window, uint64_t pos, uint64_t limit) {
    uint32_t w0 = load_word(window);
    if (w0 != pos) return block_kind::none;
    uint32_t w1 = load_word(window + 4);
    uint32_t w2 = load_word(window + 8);
    uint32_t w3 = load_word(window + 12);
    bool next_ok = w3 < limit && w3 % 4 == 0 && w3 != w0;
    if (w1 == live_marker) {
        int32_t used = int32_t(w2);
        return used >= 1 && used <= int32_t(data_size) && next_ok ? block_kind::live : block_kind::none;
    }
    if (w1 == freed_marker && w2 == freed_size && next_ok) {
        uint32_t w4 = load_word(window + 16);
        return w4 < limit && w4 % 4 == 0 ? block_kind::freed : block_kind::none;
    }
    return block_kind::none;
}

// The header bytes a block of this kind is recognised by: a freed block's first data word
// counts too.
size_t recognised_bytes(block_kind kind) { return kind == block_kind::freed ? header_size + 4 : header_size; }

// The first position from `pos` on, in steps of 4, that is at or past `limit` or whose
// word might equal the position. Only file data already in the window is looked at;
// where that runs out, the position is handed back for the caller to examine.
uint64_t skip_plain_words(const file_window& window, const unsigned char* base_bytes, uint64_t base,
                          uint64_t pos, uint64_t limit) {
    uint64_t stop = std::min(limit, window.data_end());
#if defined(__SSE2__)
    // Four words per compare, four compares per round; the positions must not wrap.
    constexpr uint64_t wrap = uint64_t(1) << 32;
    if (pos + 64 <= stop && pos + 64 < wrap) {
        __m128i offsets = _mm_set_epi32(int(pos + 12), int(pos + 8), int(pos + 4), int(pos));
        const __m128i stride = _mm_set1_epi32(16);
        while (pos + 64 <= stop && pos + 64 < wrap) {
            const __m128i* words = reinterpret_cast<const __m128i*>(base_bytes + (pos - base));
            __m128i at1 = _mm_add_epi32(offsets, stride);
            __m128i at2 = _mm_add_epi32(at1, stride);
            __m128i at3 = _mm_add_epi32(at2, stride);
            __m128i hits =
                _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi32(_mm_loadu_si128(words), offsets),
                                          _mm_cmpeq_epi32(_mm_loadu_si128(words + 1), at1)),
                             _mm_or_si128(_mm_cmpeq_epi32(_mm_loadu_si128(words + 2), at2),
                                          _mm_cmpeq_epi32(_mm_loadu_si128(words + 3), at3)));
            if (_mm_movemask_epi8(hits) != 0) break;  // the word-by-word loop finds which
            offsets = _mm_add_epi32(at3, stride);
            pos += 64;
        }
    }
#endif
    while (pos + 4 <= stop && load_word(base_bytes + (pos - base)) != pos) pos += 4;
    return pos;
}

class scanner {
  public:
    explicit scanner(dbx_t* store)
        : store_(store),
          limit_(dbx_scanned_size(store)),
          step_(limit_ / 1000),
          window_(store->file, header_size, uint64_t(store->file_size), chunk_size) {}

    bool run();

  private:
    void report(uint64_t pos);
    uint64_t next_stop() const;
    void record(block_kind kind, const unsigned char* header);
    void make_chains(dbx_block_list_t& list);

    dbx_t* store_;
    uint64_t limit_;  // positions from here on are not scanned
    uint64_t step_;
    file_window window_;
    link_index links_[2];
    uint64_t last_report_ = 0;
    uint64_t next_checkpoint_ = checkpoint_interval;
};

void scanner::report(uint64_t pos) {
    std::printf("\b\b\b\b\b\b%5.1f%%", double(pos) * 100.0 / double(limit_));
    std::fflush(stdout);
    if (main_dialog != nullptr) main_dialog->set_progress(int(pos * 100 / limit_));
    last_report_ = pos;
}

// Where plain skipping must stop: the end of the scan, the next progress update or the
// next checkpoint, whichever comes first.
uint64_t scanner::next_stop() const {
    return std::min({limit_, last_report_ + step_, next_checkpoint_});
}

void scanner::record(block_kind kind, const unsigned char* header) {
    int which = kind == block_kind::live ? 0 : 1;
    links_[which].add(store_->lists[which], load_word(header), load_word(header + 12),
                      int32_t(load_word(header + 8)));
}

bool scanner::run() {
    std::printf("------ Scanning %s:   0.0%%", store_->file_name.c_str());
    std::fflush(stdout);
    for (dbx_block_list_t& list : store_->lists) reserve_blocks(list, limit_ / block_size + 1);
    uint64_t pos = 0;
    bool window_empty = true;
    while (pos < limit_) {
        if (pos - last_report_ >= step_) report(pos);
        if (pos >= next_checkpoint_) {
            if (!run_checkpoint()) return false;
            next_checkpoint_ = pos + checkpoint_interval;
        }
        if (window_empty) {  // the first header, or the one after an accepted block
            pos += header_size;
            window_empty = false;
        }
        const unsigned char* header = window_.at(pos, 20);
        block_kind kind = block_test(header, pos, limit_);
        // Bytes that could not be read match no block, whatever they were read as.
        if (kind != block_kind::none && !window_.readable(pos, recognised_bytes(kind))) kind = block_kind::none;
        if (kind != block_kind::none) {
#if defined(__GNUC__)
            // Blocks mostly follow each other, and a header fresh from the read is seldom in
            // the cache yet: ask for one a few blocks ahead while this one is recorded.
            if (pos + prefetch_distance + 4 <= window_.data_end())
                __builtin_prefetch(header + prefetch_distance);
#endif
            record(kind, header);
            pos += block_size - header_size;  // the data area is never examined
            window_empty = true;
            continue;
        }
        pos += 4;
        // Nothing happens at the positions before the next stop whose word differs from
        // the position, so they are passed over in bulk.
        uint64_t stop = next_stop();
        while (pos < stop) {
            const unsigned char* bytes = window_.at(pos, 4);
            uint64_t next = skip_plain_words(window_, bytes, pos, pos, stop);
            if (next == pos) break;
            pos = next;
        }
    }
    std::printf("\b\b\b\b\b\b100.0%%\n");
    store_->unreadable = std::move(window_.unreadable());
    make_chains(store_->lists[0]);
    make_chains(store_->lists[1]);
    return true;
}

// The heads of a list's chains, in file order. Blocks in a closed ring have a predecessor
// each and head no chain.
void scanner::make_chains(dbx_block_list_t& list) {
    if (list.chain_count == 0) return;
    list.chains.resize(size_t(list.chain_count));
    size_t filled = 0;
    for (const dbx_block_t& block : list.blocks) {
        if (filled == list.chains.size()) break;
        list.chains[filled] = &block;  // kept only when the block heads a chain
        filled += block.prev == -1;
    }
}

}  // namespace

bool _dbx_scan(dbx_t* store) {
    return scanner(store).run();
}

size_t _dbx_scan_chunk_size() {
    return chunk_size;
}

void _dbx_set_scan_chunk_size(size_t bytes) {
    chunk_size = bytes;
}
