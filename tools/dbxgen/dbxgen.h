#pragma once
// The project's own maker of synthetic Outlook Express stores, for tests, benchmarks and
// the bundled sample. A store_image puts blocks, words and bytes at chosen offsets of an
// in-memory file; write_store streams a whole realistic store to a file.

#include <array>
#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace dbxgen {

// The 16 bytes that open an Outlook Express message store.
inline constexpr std::array<uint8_t, 16> store_signature = {
    0xCF, 0xAD, 0x12, 0xFE, 0xC5, 0xFD, 0x74, 0x6F, 0x66, 0xE3, 0xD1, 0x11, 0x9A, 0x4E, 0x00, 0xC0};

inline constexpr uint32_t block_size = 528;  // header and data area
inline constexpr uint32_t data_area = 512;   // bytes after the 16-byte header
inline constexpr uint32_t freed_text = 508;  // message bytes in a freed block

// Blocks needed for a live message or a freed fragment of `length` bytes (at least one).
size_t live_blocks_for(size_t length);
size_t freed_blocks_for(size_t length);

// A deterministic random source that gives the same numbers on every system.
class random_source {
  public:
    explicit random_source(uint64_t seed);
    uint64_t next();
    // A number in [0, bound); bound > 0.
    uint64_t below(uint64_t bound) { return next() % bound; }
    // A number in [low, high].
    int64_t between(int64_t low, int64_t high) {
        return low + int64_t(below(uint64_t(high - low) + 1));
    }
    bool chance(unsigned percent) { return below(100) < percent; }

  private:
    uint64_t state_;
};

// The order in which a message's blocks are laid out in its stretch of the file.
enum class block_order { in_order, reversed, shuffled };

// `count` block offsets for a stretch starting at `start`, 528 bytes apart, listed in
// chain order: the chain's first block lies at the first offset returned.
std::vector<uint32_t> lay_out_blocks(uint32_t start, size_t count, block_order order,
                                     random_source& random);

// A store file, or a stretch of one, being put together in memory. Everything is written
// at absolute file offsets; the image holds the bytes from `origin` on and grows (with
// zero bytes) to hold what is written.
class store_image {
  public:
    explicit store_image(uint64_t origin = 0) : origin_(origin) {}
    // Writes the signature at offset 0.
    void put_signature();

    // The bytes from `origin` on.
    const std::vector<uint8_t>& bytes() const { return bytes_; }
    size_t size() const { return bytes_.size(); }
    uint64_t origin() const { return origin_; }
    uint64_t end() const { return origin_ + bytes_.size(); }
    // Grows or cuts the image to `size` bytes; new bytes get `fill`.
    void resize(size_t size, uint8_t fill = 0);

    void put_word(uint64_t offset, uint32_t value);
    void put_bytes(uint64_t offset, const void* data, size_t length);
    void put_text(uint64_t offset, std::string_view text) {
        put_bytes(offset, text.data(), text.size());
    }

    // A live block header with any field values: (offset, 512, used, next_offset).
    void put_live_header(uint32_t offset, uint32_t used, uint32_t next_offset);
    // A freed block header and the first word of its data area:
    // (offset, 508, 528, next_offset) then first_word.
    void put_freed_header(uint32_t offset, uint32_t next_offset, uint32_t first_word);

    // A live message: text[512 i ..] goes into the block at offsets[i]; the blocks are
    // chained in the order of `offsets` (the last one names 0). Needs exactly
    // live_blocks_for(text.size()) offsets.
    void add_message(std::string_view text, std::span<const uint32_t> offsets);
    // A freed fragment: each block gets `first_word` (a free-list link) and then 508 bytes
    // of the text; chained like a message.
    void add_freed_fragment(std::string_view text, std::span<const uint32_t> offsets,
                            uint32_t first_word);

    // Writes the image to a file (UTF-8 path); false on failure.
    bool write_file(const std::string& path) const;

  private:
    void reserve_to(uint64_t end);
    uint64_t origin_;
    std::vector<uint8_t> bytes_;
};

// One plausible RFC 822 message (CRLF line ends): From, To, Subject (sometimes with
// encoded words or raw 8-bit text), Date in one of several valid forms, Message-ID, a
// MIME header and a body of roughly `body_bytes` bytes.
std::string make_message(random_source& random, size_t body_bytes);
// A short text and one attachment of `attachment_bytes` random bytes in base64 lines.
std::string make_attachment_message(random_source& random, uint64_t attachment_bytes);
// The fields that open such a message: From, To, sometimes Cc, Subject, Date, Message-ID.
std::string message_head(random_source& random);
// Lines of plain English words of roughly `bytes` bytes, CRLF line ends.
std::string body_text(random_source& random, size_t bytes);
// Base64 without line breaks, and the Q encoding of encoded words.
std::string base64(std::string_view bytes);
// A byte as a mark and two upper-case hex digits: "=3D", "%2F".
std::string escaped_byte(char mark, uint8_t byte);
std::string q_encode(std::string_view bytes);

// A message of the richer kinds mail clients wrote (alternative plain and HTML bodies,
// attachments with names in several charsets, inline images, forwarded messages, bodies
// in quoted-printable, base64 and 8 bit) and the broken forms some of them wrote.
std::string make_mime_message(random_source& random);

// A small store of live messages whose headers are written in several charsets
// (ISO-8859-1, KOI8-R, GB2312, UTF-8, raw 8-bit text), one after the other from 0x200.
store_image charset_store();
// A store of the given message texts, live and in order, one after the other from 0x200,
// then the given deleted fragments.
store_image store_of_messages(const std::vector<std::string>& texts,
                              const std::vector<std::string>& fragments = {});

// A small store of live messages and a deleted fragment with lines an mbox file quotes
// (">*From "), LF line ends and a last line without a line end.
store_image from_lines_store();

// What write_store makes.
struct store_options {
    uint64_t seed = 1;
    int messages = 40;  // live messages
    int deleted = 8;    // freed fragments
    uint64_t size = 0;  // pad the store with noise up to this size (0: no padding)
    // Keep adding messages and fragments (in the ratio above) until the store reaches
    // `size`; needs a size.
    bool fill = false;
    // Messages of the richer MIME kinds (make_mime_message) instead of plain text ones.
    bool mime = false;
    // Each message carries one attachment of this many bytes (0: none).
    uint64_t attachment = 0;
    // The store as Outlook Express wrote it: the file header and file info, and after the
    // messages the index that names every live one (message info objects and their tree).
    bool index = false;
};

// A disk image of `stores` carved stores, 4 KiB apart, whose one block each continues into
// the next store's block and the last into the first's: a ring across stores. `text`
// receives what the blocks hold once round, from the first store's block on.
store_image ring_image(uint32_t stores, std::string& text);

// Streams a realistic store to `out`: the signature, then the messages and fragments in
// random order, each in its own stretch of blocks (sometimes out of order, sometimes with
// noise between blocks), with noise between them. Deterministic for a seed. Returns the
// store's size, or -1 when writing failed.
int64_t write_store(const store_options& options, FILE* out);

}  // namespace dbxgen
