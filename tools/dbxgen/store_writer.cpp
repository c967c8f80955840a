// A whole realistic store, written stretch by stretch so that even a store of several
// gigabytes never has to be held in memory.

#include <algorithm>
#include <vector>

#include "tools/dbxgen/dbxgen.h"
#include "tools/dbxgen/indexed.h"

namespace dbxgen {
namespace {

class store_writer {
  public:
    store_writer(const store_options& options, FILE* out)
        : options_(options), out_(out), random_(options.seed), state_(options.seed ^ 0x5eed1de7u) {}

    int64_t run();

  private:
    void emit(const store_image& stretch);
    void put_noise(store_image& stretch, uint64_t at, size_t length, bool near_miss);
    store_image noise_stretch(size_t length);
    store_image message_stretch();
    store_image fragment_stretch();
    std::vector<uint32_t> block_places(size_t count);
    store_image blank_stretch(const std::vector<uint32_t>& places);
    size_t body_length();
    std::string message_text();
    bool next_is_fragment(int messages_left, int fragments_left);
    void write_index();

    const store_options& options_;
    FILE* out_;
    random_source random_;
    random_source state_;  // the messages' state in the index, apart from their bytes
    std::vector<indexed_message> indexed_;
    uint64_t offset_ = 0;
    bool failed_ = false;
    std::vector<uint32_t> freed_offsets_;  // for the free-list words of later fragments
};

void store_writer::emit(const store_image& stretch) {
    if (stretch.size() == 0) return;
    if (std::fwrite(stretch.bytes().data(), 1, stretch.size(), out_) != stretch.size())
        failed_ = true;
    offset_ += stretch.size();
}

// The kinds of bytes found between message blocks: zeros, index-like tables of offsets,
// stale text, random bytes, and now and then a header that almost passes for a block.
void store_writer::put_noise(store_image& stretch, uint64_t at, size_t length, bool near_miss) {
    uint64_t end = at + length;
    switch (random_.below(5)) {
        case 0:
            break;  // zeros
        case 1:
            for (uint64_t p = at; p + 4 <= end; p += 4) {
                bool known = random_.chance(50) && !freed_offsets_.empty();
                stretch.put_word(p, known ? freed_offsets_[random_.below(freed_offsets_.size())]
                                          : uint32_t(random_.below(offset_ + 1)) & ~3u);
            }
            break;
        case 2: {
            std::string text = make_message(random_, length);
            stretch.put_text(at, std::string_view(text).substr(0, length));
            break;
        }
        default:
            for (uint64_t p = at; p + 4 <= end; p += 4)
                stretch.put_word(p, uint32_t(random_.next()));
            break;
    }
    if (near_miss && length >= 24 && random_.chance(20)) {
        // What a damaged block might leave: its own offset, then fields that fail the
        // block test (no message bytes, or a free-list word that is not on a word).
        uint32_t place = uint32_t(at + 4 * random_.below((length - 20) / 4));
        bool live = random_.chance(50);
        stretch.put_word(place, place);
        stretch.put_word(place + 4, live ? 512 : 508);
        stretch.put_word(place + 8, live ? (random_.chance(50) ? 0 : 600) : 528);
        stretch.put_word(place + 12, 0);
        if (!live) stretch.put_word(place + 16, place | 2);
    }
}

store_image store_writer::noise_stretch(size_t length) {
    store_image stretch(offset_);
    stretch.resize(length);
    put_noise(stretch, offset_, length, true);
    return stretch;
}

// Message sizes spread over two orders of magnitude (128 bytes to 16 KiB, as many of each
// power of two), with a few four times larger. Integers only, so that every system makes
// the same store from a seed.
size_t store_writer::body_length() {
    unsigned bits = unsigned(random_.between(7, 13));
    size_t length = (size_t(1) << bits) + size_t(random_.below(size_t(1) << bits));
    if (random_.chance(3)) length *= 4;
    return length;
}

std::string store_writer::message_text() {
    if (options_.attachment > 0) return make_attachment_message(random_, options_.attachment);
    return options_.mime ? make_mime_message(random_) : make_message(random_, body_length());
}

// Offsets for a stretch's blocks in chain order: mostly in file order, sometimes reversed
// or shuffled, and now and then pushed apart by a little noise.
std::vector<uint32_t> store_writer::block_places(size_t count) {
    unsigned roll = unsigned(random_.below(100));
    block_order order = roll < 70   ? block_order::in_order
                        : roll < 85 ? block_order::reversed
                                    : block_order::shuffled;
    std::vector<uint32_t> places = lay_out_blocks(uint32_t(offset_), count, order, random_);
    if (random_.chance(10)) {
        std::vector<uint32_t> shift(count);
        for (size_t i = 1; i < count; i++)
            shift[i] = shift[i - 1] + 4 * uint32_t(random_.below(64));
        for (uint32_t& place : places) place += shift[(place - uint32_t(offset_)) / block_size];
    }
    return places;
}

// A stretch just long enough for the blocks, with noise where the blocks leave gaps and
// in the unused ends of data areas.
store_image store_writer::blank_stretch(const std::vector<uint32_t>& places) {
    store_image stretch(offset_);
    uint64_t end = *std::max_element(places.begin(), places.end()) + uint64_t(block_size);
    stretch.resize(size_t(end - offset_));
    // No near-miss headers here: blocks written over one could complete it.
    if (random_.chance(30)) put_noise(stretch, offset_, stretch.size(), false);
    return stretch;
}

store_image store_writer::message_stretch() {
    std::string text = message_text();
    std::vector<uint32_t> places = block_places(live_blocks_for(text.size()));
    store_image stretch = blank_stretch(places);
    stretch.add_message(text, places);
    if (options_.index)
        indexed_.push_back(
            describe_message(text, places[0], uint32_t(indexed_.size() + 1), state_));
    return stretch;
}

// A deleted message: its blocks freed, each with a free-list word naming an earlier freed
// block (or 0), and often only a part of the message left.
store_image store_writer::fragment_stretch() {
    std::string text = message_text();
    if (random_.chance(40)) text.resize(1 + random_.below(text.size()));
    std::vector<uint32_t> places = block_places(freed_blocks_for(text.size()));
    store_image stretch = blank_stretch(places);
    uint32_t link = freed_offsets_.empty() ? 0 : freed_offsets_.back();
    stretch.add_freed_fragment(text, places, link);
    freed_offsets_.insert(freed_offsets_.end(), places.begin(), places.end());
    if (freed_offsets_.size() > 4096)
        freed_offsets_.erase(freed_offsets_.begin(), freed_offsets_.begin() + 2048);
    return stretch;
}

bool store_writer::next_is_fragment(int messages_left, int fragments_left) {
    if (fragments_left <= 0) return false;
    if (messages_left <= 0) return true;
    return random_.below(uint64_t(messages_left + fragments_left)) < uint64_t(fragments_left);
}

// The info objects and the tree after the messages, then the file header that names them.
void store_writer::write_index() {
    store_image tail(offset_);
    index_layout layout = put_message_index(tail, offset_, indexed_, tree_node_entries);
    emit(tail);
    store_image head;
    put_file_header(head, false, uint32_t(indexed_.size()), layout.root, "Inbox");
    if (std::fseek(out_, 0, SEEK_SET) != 0 ||
        std::fwrite(head.bytes().data(), 1, head.size(), out_) != head.size() ||
        std::fseek(out_, 0, SEEK_END) != 0)
        failed_ = true;
}

int64_t store_writer::run() {
    store_image head;
    head.put_signature();
    if (options_.index) head.resize(file_header_size + message_file_info_size);
    emit(head);
    int messages = std::max(0, options_.messages);
    int fragments = std::max(0, options_.deleted);
    bool filling = options_.fill && options_.size > 0 && messages + fragments > 0;
    int ratio_messages = messages, ratio_fragments = fragments;
    while (!failed_) {
        if (messages + fragments == 0) {
            if (!filling) break;
            messages = ratio_messages;
            fragments = ratio_fragments;
        }
        emit(noise_stretch(4 * size_t(random_.below(random_.chance(20) ? 1024 : 64))));
        bool fragment = next_is_fragment(messages, fragments);
        store_image stretch = fragment ? fragment_stretch() : message_stretch();
        if (filling && stretch.end() > options_.size) {
            // Not written, so the index must not name it.
            if (!fragment && options_.index) indexed_.pop_back();
            break;
        }
        emit(stretch);
        (fragment ? fragments : messages)--;
    }
    if (options_.index && !failed_) write_index();
    if (options_.size > offset_) {
        size_t rest = size_t(options_.size - offset_);
        emit(noise_stretch(rest - rest % 4));
        store_image tail(offset_);
        tail.resize(rest % 4);
        emit(tail);
    }
    return failed_ ? -1 : int64_t(offset_);
}

}  // namespace

int64_t write_store(const store_options& options, FILE* out) {
    return store_writer(options, out).run();
}

}  // namespace dbxgen
