// The whole-file block scan. It walks the file position by position exactly as a reader
// taking one word at a time would, printing the same progress updates at the same
// positions, but it reads the file in large chunks and passes over the long stretches
// where no word equals its own offset without looking at them one by one.

#include "dbx/scan.h"

#include <algorithm>
#include <cstdio>

#include "dbx/file_window.h"
#include "dbx/layout.h"
#include "dbx/link_index.h"
#include "platform/text.h"
#include "platform/view.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

size_t chunk_size = size_t(1) << 20;

using namespace dbx_layout;

// The run is asked whether to go on each time the scan has covered this much of the file.
constexpr uint64_t checkpoint_interval = 16 * 1024;
constexpr uint64_t prefetch_distance = 8 * block_size;

enum class block_kind { none, live, freed };

// Decides, from its words past the first, whether a header begins a block, and of which
// list. A word is in range when it lies below `limit`.
block_kind body_test(const unsigned char* window, uint32_t own_offset, uint64_t limit) {
    uint32_t w1 = load_word(window + 4);
    uint32_t w2 = load_word(window + 8);
    uint32_t w3 = load_word(window + 12);
    bool next_ok = w3 < limit && w3 % 4 == 0 && w3 != own_offset;
    if (w1 == live_marker) {
        int32_t used = int32_t(w2);
        return used >= 1 && used <= int32_t(data_size) && next_ok ? block_kind::live
                                                                  : block_kind::none;
    }
    if (w1 == freed_marker && w2 == freed_size && next_ok) {
        uint32_t w4 = load_word(window + 16);
        return w4 < limit && w4 % 4 == 0 ? block_kind::freed : block_kind::none;
    }
    return block_kind::none;
}

// A store's blocks name their own offset, which is their position in the file.
struct store_rule {
    static bool own_offset_fits(uint32_t word, uint64_t pos) { return word == pos; }
};

// In a disk image a block names its offset within a store that starts on a sector
// boundary, past the store's 16-byte signature: the word and the position agree in their
// low nine bits. The store may start before the image, which may be an extract taken from
// inside it (unallocated space, a partial image); its start then wraps below zero.
struct image_rule {
    static bool own_offset_fits(uint32_t word, uint64_t pos) {
        return word >= header_size && word % 4 == 0 && (pos - word) % sector_size == 0;
    }
    static constexpr uint32_t position_mask = sector_size - 1;
};

template <class rule>
block_kind block_test(const unsigned char* window, uint64_t pos, uint64_t limit) {
    uint32_t w0 = load_word(window);
    if (!rule::own_offset_fits(w0, pos)) return block_kind::none;
    return body_test(window, w0, limit);
}

// The header bytes a block of this kind is recognised by: a freed block's first data word
// counts too.
size_t recognised_bytes(block_kind kind) {
    return kind == block_kind::freed ? header_size + 4 : header_size;
}

// The first position from `pos` on, in steps of 4, that is at or past `limit` or whose
// word might equal the position. Only file data already in the window is looked at;
// where that runs out, the position is handed back for the caller to examine.
uint64_t skip_plain_words(store_rule, const unsigned char* base_bytes, uint64_t base, uint64_t pos,
                          uint64_t stop) {
#if defined(__SSE2__)
    // Four words per compare, four compares per round; positions must not wrap at 4 GiB.
    constexpr uint64_t wrap = uint64_t(1) << 32;
    if (pos + 64 <= stop && pos + 64 < wrap) {
        __m128i offsets = _mm_set_epi32(int(pos + 12), int(pos + 8), int(pos + 4), int(pos));
        const __m128i stride = _mm_set1_epi32(16);
        auto hit = [&](const __m128i* at, __m128i wanted) {
            return _mm_cmpeq_epi32(_mm_loadu_si128(at), wanted);
        };
        while (pos + 64 <= stop && pos + 64 < wrap) {
            const __m128i* words = reinterpret_cast<const __m128i*>(base_bytes + (pos - base));
            __m128i at1 = _mm_add_epi32(offsets, stride);
            __m128i at2 = _mm_add_epi32(at1, stride);
            __m128i at3 = _mm_add_epi32(at2, stride);
            __m128i hits = _mm_or_si128(_mm_or_si128(hit(words, offsets), hit(words + 1, at1)),
                                        _mm_or_si128(hit(words + 2, at2), hit(words + 3, at3)));
            if (_mm_movemask_epi8(hits) != 0) break;  // the word-by-word loop finds which
            offsets = _mm_add_epi32(at3, stride);
            pos += 64;
        }
    }
#endif
    for (; pos + 4 <= stop; pos += 4) {
        if (load_word(base_bytes + (pos - base)) == pos) break;
    }
    return pos;
}

bool is_marker(uint32_t word) {
    return word == live_marker || word == freed_marker;
}

// The same in a disk image, for positions that might begin a block: their word agrees
// with the position in its low nine bits (zero words aside, which name no block and fill
// much of a disk), and their next word is a block marker. Markers are rare outside
// blocks, so the next words of sixteen positions are compared with both markers at a
// time, and a position's own word is looked at only where one matches.
uint64_t skip_plain_words(image_rule, const unsigned char* base_bytes, uint64_t base, uint64_t pos,
                          uint64_t stop) {
    auto own_word_fits = [&](uint64_t at) {
        uint32_t word = load_word(base_bytes + (at - base));
        return word != 0 && (word & image_rule::position_mask) == (at & image_rule::position_mask);
    };
#if defined(__SSE2__)
    const __m128i live = _mm_set1_epi32(int(live_marker)),
                  freed = _mm_set1_epi32(int(freed_marker));
    for (; pos + 4 + 64 <= stop; pos += 64) {
        const unsigned char* next_words = base_bytes + (pos + 4 - base);
        unsigned hits = 0;
        for (int k = 0; k < 4; ++k) {
            __m128i word = _mm_loadu_si128(reinterpret_cast<const __m128i*>(next_words + 16 * k));
            __m128i marker =
                _mm_or_si128(_mm_cmpeq_epi32(word, live), _mm_cmpeq_epi32(word, freed));
            hits |= unsigned(_mm_movemask_ps(_mm_castsi128_ps(marker))) << (4 * k);
        }
        for (; hits != 0; hits &= hits - 1) {
            uint64_t at = pos + 4 * uint64_t(__builtin_ctz(hits));
            if (own_word_fits(at)) return at;
        }
    }
#endif
    // The last positions: their next word may lie beyond what can be looked at.
    for (; pos + 4 <= stop; pos += 4) {
        if (own_word_fits(pos) &&
            (pos + 8 > stop || is_marker(load_word(base_bytes + (pos + 4 - base)))))
            break;
    }
    return pos;
}

// The walk over a file, the same for a store and a disk image: the progress line, the
// checkpoints, the window with its read errors and the skipping of plain words. What
// becomes of a block found is the sink's business.
template <class rule>
class scanner {
  public:
    scanner(platform::byte_source& source, const std::string& name, uint64_t end,
            uint64_t word_limit, block_sink& sink)
        : name_(name),
          limit_(end),
          word_limit_(word_limit),
          step_(limit_ / 1000),
          window_(source, header_size, chunk_size),
          sink_(sink) {}

    bool run();
    std::vector<unreadable_range>& unreadable() { return window_.unreadable(); }

  private:
    void report(uint64_t pos);
    uint64_t next_stop() const;
    size_t data_at_hand(uint64_t pos, uint32_t data_size_word);

    const std::string& name_;
    uint64_t limit_;       // positions from here on are not scanned
    uint64_t word_limit_;  // the bound of the next offsets a block may name
    uint64_t step_;
    file_window window_;
    block_sink& sink_;
    bool wants_data_ = sink_.wants_data_areas();
    uint64_t last_report_ = 0;
    uint64_t next_checkpoint_ = checkpoint_interval;
};

template <class rule>
void scanner<rule>::report(uint64_t pos) {
    std::printf("\b\b\b\b\b\b%5.1f%%", double(pos) * 100.0 / double(limit_));
    std::fflush(stdout);
    if (main_dialog != nullptr) main_dialog->set_progress(int(pos * 100 / limit_));
    last_report_ = pos;
}

// The bytes of the data area of the block whose header is at `pos` that the window holds,
// all of them readable; none when some of them could not be read.
template <class rule>
size_t scanner<rule>::data_at_hand(uint64_t pos, uint32_t data_size_word) {
    uint64_t start = pos + header_size, held_end = window_.data_end();
    if (held_end <= start) return 0;
    size_t length = size_t(std::min<uint64_t>(message_bytes(data_size_word), held_end - start));
    return window_.readable(start, length) ? length : 0;
}

// Where plain skipping must stop: the end of the scan, the next progress update or the
// next checkpoint, whichever comes first.
template <class rule>
uint64_t scanner<rule>::next_stop() const {
    return std::min({limit_, last_report_ + step_, next_checkpoint_});
}

template <class rule>
bool scanner<rule>::run() {
    std::printf("------ Scanning %s:   0.0%%", platform::printable(name_).c_str());
    std::fflush(stdout);
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
        if (wants_data_ && !window_.holds(pos, 20)) sink_.data_areas_moving();
        const unsigned char* header = window_.at(pos, 20);
        block_kind kind = block_test<rule>(header, pos, word_limit_);
        // Bytes that could not be read match no block, whatever they were read as.
        if (kind != block_kind::none && !window_.readable(pos, recognised_bytes(kind)))
            kind = block_kind::none;
        if (kind != block_kind::none) {
#if defined(__GNUC__)
            // Blocks mostly follow each other, and a header fresh from the read is seldom in
            // the cache yet: ask for one a few blocks ahead while this one is recorded.
            if (pos + prefetch_distance + 4 <= window_.data_end())
                __builtin_prefetch(header + prefetch_distance);
#endif
            sink_.found(kind == block_kind::live ? 0 : 1, pos, load_word(header),
                        load_word(header + 12), int32_t(load_word(header + 8)));
            if (wants_data_)
                sink_.data_area(header + header_size, data_at_hand(pos, load_word(header + 8)));
            pos += block_size - header_size;  // the data area is never examined
            window_empty = true;
            continue;
        }
        pos += 4;
        // Nothing happens at the positions before the next stop whose word differs from
        // the position, so they are passed over in bulk.
        uint64_t stop = next_stop();
        while (pos < stop) {
            if (wants_data_ && !window_.holds(pos, 4)) sink_.data_areas_moving();
            const unsigned char* bytes = window_.at(pos, 4);
            uint64_t next =
                skip_plain_words(rule{}, bytes, pos, pos, std::min(stop, window_.data_end()));
            if (next == pos) break;
            pos = next;
        }
    }
    if (wants_data_) sink_.data_areas_moving();  // the window goes with the scan
    std::printf("\b\b\b\b\b\b100.0%%\n");
    return true;
}

// A store's blocks go to its two lists and are linked as they come.
class store_sink : public block_sink {
  public:
    store_sink(dbx_t* store, dbx_block_observer* observer) : store_(store), observer_(observer) {}
    void found(int list, uint64_t, uint32_t own_offset, uint32_t next_offset,
               int32_t data_size) override {
        links_[list].add(store_->lists[list], own_offset, next_offset, data_size);
        last_list_ = list;
    }
    bool wants_data_areas() const override { return observer_ != nullptr; }
    void data_area(const unsigned char* data, size_t at_hand) override {
        observer_->added(*store_, last_list_, store_->lists[last_list_].block_count - 1, data,
                         at_hand);
    }
    void data_areas_moving() override { observer_->data_moving(); }

  private:
    dbx_t* store_;
    dbx_block_observer* observer_;
    link_index links_[2];
    int last_list_ = 0;
};

}  // namespace

// The heads of a list's chains, in file order. Blocks in a closed ring have a predecessor
// each and head no chain.
void _dbx_make_chains(dbx_block_list_t& list) {
    list.chains.clear();
    if (list.chain_count <= 0) return;
    list.chains.resize(size_t(list.chain_count));
    size_t filled = 0;
    for (const dbx_block_t& block : list.blocks) {
        if (filled == list.chains.size()) break;
        list.chains[filled] = &block;  // kept only when the block heads a chain
        filled += block.prev == -1;
    }
}

bool _dbx_scan_image(platform::byte_source& image, const std::string& name, block_sink& sink,
                     std::vector<unreadable_range>& unreadable) {
    scanner<image_rule> scan(image, name, image.size(), dbx_layout::addressable, sink);
    if (!scan.run()) return false;
    unreadable = std::move(scan.unreadable());
    return true;
}

bool _dbx_scan(dbx_t* store, dbx_block_observer* observer) {
    uint64_t limit = dbx_scanned_size(store);
    // Only the entries written take up memory.
    for (dbx_block_list_t& list : store->lists) list.blocks.reserve(limit / block_size + 1);
    store_sink sink(store, observer);
    scanner<store_rule> scan(*store->source, store->file_name, limit, limit, sink);
    if (!scan.run()) return false;
    store->unreadable = std::move(scan.unreadable());
    _dbx_make_chains(store->lists[0]);
    _dbx_make_chains(store->lists[1]);
    return true;
}

size_t _dbx_scan_chunk_size() {
    return chunk_size;
}

void _dbx_set_scan_chunk_size(size_t bytes) {
    chunk_size = bytes;
}
