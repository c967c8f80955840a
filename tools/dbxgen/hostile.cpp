// The hostile shapes. Each maker puts its blocks at chosen offsets and counts, as it goes,
// the blocks and chains the scan must find: a chain is one message or fragment, a block in
// a closed ring belongs to none, and a header the block test refuses is no block at all.

#include "tools/dbxgen/hostile.h"

#include <string>

namespace dbxgen {
namespace {

constexpr uint64_t gib = uint64_t(1) << 30;
constexpr uint32_t two_gib = uint32_t(1) << 31;
constexpr uint32_t last_word = 0xFFFFFFFC;

// A short message that fits one block, told apart from the others by its number.
std::string short_mail(uint64_t number) {
    std::string n = std::to_string(number);
    return "From: sender" + n + "@example.com\r\nTo: reader@example.org\r\nSubject: Hostile " + n +
           "\r\nDate: Tue, 15 Nov 1994 08:12:31 GMT\r\n\r\nBody " + n + "\r\n";
}

// A message of exactly `length` bytes: a header, then lines of text.
std::string long_mail(size_t length) {
    std::string text = short_mail(0);
    const std::string line = "The quick brown fox jumps over the lazy dog 0123456789.\r\n";
    while (text.size() < length) text += line;
    text.resize(length);
    return text;
}

// A store with the signature and one ordinary message at 0x200, the neighbour every
// damaged shape sits beside.
hostile_store with_one_message(uint64_t size) {
    hostile_store store;
    store.size = size;
    store.pieces.emplace_back();
    store.pieces[0].put_signature();
    const uint32_t at[] = {0x200};
    store.pieces[0].add_message(short_mail(1), at);
    store.live = {1, 1};
    return store;
}

void add_message(hostile_store& store, store_image& image, std::span<const uint32_t> offsets,
                 const std::string& text) {
    image.add_message(text, offsets);
    store.live.blocks += int(offsets.size());
    store.live.chains += 1;
}

void add_fragment(hostile_store& store, store_image& image, std::span<const uint32_t> offsets,
                  const std::string& text, uint32_t first_word = 0) {
    image.add_freed_fragment(text, offsets, first_word);
    store.freed.blocks += int(offsets.size());
    store.freed.chains += 1;
}

// Chains that close on themselves: a ring of three live blocks and one of two freed
// blocks (no chain at all), and a live chain whose last block names its second (one
// chain of three: the second block already has its predecessor).
hostile_store rings() {
    hostile_store store = with_one_message(0x1800);
    store_image& image = store.pieces[0];
    const uint32_t ring[] = {0x410, 0x620, 0x830};
    image.add_message(long_mail(1500), ring);
    image.put_word(0x830 + 12, 0x410);
    store.live.blocks += 3;
    const uint32_t freed_ring[] = {0xA40, 0xC50};
    image.add_freed_fragment(long_mail(1000), freed_ring, 0);
    image.put_word(0xC50 + 12, 0xA40);
    store.freed.blocks += 2;
    const uint32_t lasso[] = {0x1000, 0x1210, 0x1420};
    add_message(store, image, lasso, long_mail(1500));
    image.put_word(0x1420 + 12, 0x1210);
    return store;
}

// Headers naming themselves as their next block are refused, live or freed; a freed
// block whose free-list word names itself is an ordinary fragment.
hostile_store self_links() {
    hostile_store store = with_one_message(0xC00);
    store_image& image = store.pieces[0];
    image.put_live_header(0x410, 100, 0x410);
    image.put_freed_header(0x620, 0x620, 0);
    const uint32_t fragment[] = {0x830};
    add_fragment(store, image, fragment, short_mail(2), 0x830);
    return store;
}

// Next offsets at or past the end, at the last word, or off a word boundary are refused;
// one just inside the file that names no block ends its chain. The same for a freed
// block's free-list word.
hostile_store next_offsets_past_the_end() {
    const uint32_t size = 0x1000;
    hostile_store store = with_one_message(size);
    store_image& image = store.pieces[0];
    image.put_live_header(0x410, 100, size);
    image.put_live_header(0x620, 100, last_word);
    image.put_live_header(0x830, 100, 0x202);
    const uint32_t inside[] = {0xA40};
    add_message(store, image, inside, short_mail(2));
    image.put_word(0xA40 + 12, size - 4);
    image.put_freed_header(0xC50, 0, size);
    const uint32_t fragment[] = {0xE00};  // ends at 0x1010: its data runs past the end
    add_fragment(store, image, fragment, "", size - 4);
    image.resize(size);
    return store;
}

// Live and freed blocks naming each other: links stay within one list, so every block
// that names the other kind ends its chain there.
hostile_store live_freed_cross_links() {
    hostile_store store = with_one_message(0x1000);
    store_image& image = store.pieces[0];
    const uint32_t live[] = {0x410}, freed[] = {0x620};
    add_message(store, image, live, short_mail(2));
    image.put_word(0x410 + 12, 0x620);
    add_fragment(store, image, freed, short_mail(3));
    image.put_word(0x620 + 12, 0x410);
    const uint32_t pair[] = {0x830, 0xA40}, stranger[] = {0xC50};
    add_message(store, image, pair, long_mail(900));
    add_fragment(store, image, stranger, short_mail(4));
    image.put_word(0xC50 + 12, 0xA40);
    return store;
}

// A live header of which the file holds only three words: its next offset reads as
// 0xFFFFFFFF and the header is refused.
hostile_store live_header_cut_by_the_end() {
    const uint32_t size = 0x600;
    hostile_store store = with_one_message(size);
    store.pieces[0].put_word(size - 12, size - 12);
    store.pieces[0].put_word(size - 8, 512);
    store.pieces[0].put_word(size - 4, 100);
    return store;
}

// A freed header whose four words fit but whose free-list word lies past the end.
hostile_store freed_header_cut_by_the_end() {
    const uint32_t size = 0x600;
    hostile_store store = with_one_message(size);
    store.pieces[0].put_freed_header(size - 16, 0, 0);
    store.pieces[0].resize(size);
    return store;
}

// Live headers wholly inside the file whose data areas run past its end: accepted, the
// missing bytes read as zero bytes. One ends a chain of two.
hostile_store data_past_the_end() {
    const uint32_t size = 0x800;
    hostile_store store = with_one_message(size);
    store_image& image = store.pieces[0];
    const uint32_t pair[] = {0x410, size - 16};
    add_message(store, image, pair, long_mail(600));
    image.resize(size);
    return store;
}

// A long run of 0xFF bytes after the blocks: no word there can equal its offset.
hostile_store ff_tail() {
    const uint32_t tail = 0x620, size = tail + 0x4000;
    hostile_store store = with_one_message(size);
    const uint32_t fragment[] = {0x410};
    add_fragment(store, store.pieces[0], fragment, short_mail(2));
    store.pieces[0].resize(size, 0xFF);
    return store;
}

// Every word equals its own offset, so every position is a candidate; none passes, since
// the words after it are not the block markers. One real message sits in the middle.
hostile_store word_equal_to_offset() {
    const uint32_t size = 0xC000, middle = 0x8000;
    hostile_store store;
    store.size = size;
    store_image& image = store.pieces.emplace_back();
    image.put_signature();
    for (uint32_t at = 16; at < size; at += 4) image.put_word(at, at);
    const uint32_t message[] = {middle};
    add_message(store, image, message, short_mail(2));
    return store;
}

hostile_store many_one_block_messages() {
    constexpr uint32_t count = 100000, first = 0x200;
    hostile_store store;
    store.size = first + uint64_t(count) * block_size;
    store.pieces.emplace_back();
    store.pieces[0].put_signature();
    store.pieces[0].resize(size_t(store.size));
    for (uint32_t i = 0; i < count; i++) {
        const uint32_t at[] = {first + i * block_size};
        add_message(store, store.pieces[0], at, short_mail(i));
    }
    return store;
}

// One message of 50,000,000 bytes with its blocks in reverse file order, so every link
// is made back to a block already found.
hostile_store one_large_message() {
    std::string text = long_mail(50000000);
    size_t blocks = live_blocks_for(text.size());
    hostile_store store;
    store.pieces.emplace_back();
    store.pieces[0].put_signature();
    random_source unused(1);
    auto offsets = lay_out_blocks(0x200, blocks, block_order::reversed, unused);
    add_message(store, store.pieces[0], offsets, text);
    store.size = store.pieces[0].size();
    return store;
}

// A sparse store of `size` bytes (4 GiB or more) with blocks around the 2 GiB mark and
// just below the 4 GiB mark.
hostile_store sparse_store(uint64_t size) {
    hostile_store store = with_one_message(0x400);
    store.size = size;
    // Near 2 GiB: a chain of two below the mark; a freed header that straddles it; a live
    // block above it whose next offset is a high 32-bit value naming no block.
    store_image& middle = store.pieces.emplace_back(two_gib - 0x1000);
    const uint32_t below[] = {two_gib - 0x630, two_gib - 0x420};
    add_message(store, middle, below, long_mail(700));
    const uint32_t straddling[] = {two_gib - 8};
    add_fragment(store, middle, straddling, short_mail(2));
    const uint32_t above[] = {two_gib + 0x208};
    add_message(store, middle, above, short_mail(3));
    middle.put_word(two_gib + 0x208 + 12, 0xFFFFFFF0);
    // Just below 4 GiB: a chain of two in reverse order, the last block ending at the mark.
    store_image& top = store.pieces.emplace_back(4 * gib - 0x1000);
    const uint32_t last_two[] = {uint32_t(4 * gib - 528), uint32_t(4 * gib - 2 * 528)};
    add_message(store, top, last_two, long_mail(800));
    return store;
}

// Beyond 4 GiB, headers whose own-offset word holds the low 32 bits of their position:
// the scan does not go there, so they are found by no one.
hostile_store sparse_store_beyond_4_gib() {
    hostile_store store = sparse_store(6 * gib);
    for (uint64_t at : {4 * gib + 0x410, 5 * gib}) {
        store_image& piece = store.pieces.emplace_back(at);
        piece.put_word(at, uint32_t(at));
        piece.put_word(at + 4, 512);
        piece.put_word(at + 8, 100);
        piece.put_word(at + 12, 0);
        piece.put_text(at + 16, short_mail(at));
    }
    return store;
}

}  // namespace

const std::vector<hostile_shape>& hostile_shapes() {
    static const std::vector<hostile_shape> shapes = {
        {"Rings", false, true, rings},
        {"SelfLinks", false, true, self_links},
        {"NextOffsetsPastTheEnd", false, true, next_offsets_past_the_end},
        {"LiveFreedCrossLinks", false, true, live_freed_cross_links},
        {"LiveHeaderCutByTheEnd", false, true, live_header_cut_by_the_end},
        {"FreedHeaderCutByTheEnd", false, true, freed_header_cut_by_the_end},
        {"DataPastTheEnd", false, true, data_past_the_end},
        {"FFTail", false, true, ff_tail},
        {"WordEqualToOffset", false, true, word_equal_to_offset},
        {"HundredThousandMessages", false, false, many_one_block_messages},
        {"FiftyMegabyteMessage", false, false, one_large_message},
        {"Large4GiBSparse", true, false, [] { return sparse_store(4 * gib); }},
        {"Large6GiBSparse", true, false, sparse_store_beyond_4_gib},
    };
    return shapes;
}

}  // namespace dbxgen
