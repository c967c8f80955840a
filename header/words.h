#pragma once
// Encoded words ("=?charset?B|Q?text?=") in header values. One scan finds them and cuts a
// value into pieces: bytes that stand as written, and each word's octets with the charset
// it names. `hdr_decode_words` joins the octets as they are (the charset ignored);
// `hdr_decode_text` (decode.h) converts each piece into UTF-8.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// Receives the pieces of a value in order.
class hdr_word_pieces {
  public:
    virtual void raw(std::string_view bytes) = 0;
    virtual void word(std::string_view charset, std::string_view octets) = 0;

  protected:
    ~hdr_word_pieces() = default;
};

// Cuts `value` into pieces. An encoded word is found anywhere; only the first byte of its
// encoding counts (B or Q, either case), and a word of any other encoding is removed.
// Blanks (SP, HTAB) after a word are dropped when another "=?" or the end follows them.
// A malformed word (a '?' missing, or the third not followed by '=') ends the scan: the
// rest of the value from its "=?" on is one raw piece. Throws std::bad_alloc.
void hdr_scan_words(std::string_view value, hdr_word_pieces& pieces);

// Decodes every encoded word of the NUL-terminated `input` into `*output`.
// 0 success (also when `output` is null: nothing is done); 22 `input` is null;
// 12 out of memory (`*output` is then left alone).
int hdr_decode_words(const char* input, std::string* output);

// B text. Returns the input bytes consumed; `*length` gets the bytes written to `out`.
size_t hdr_base64_decode(size_t* length, unsigned char* out, const char* text, size_t text_length,
                         size_t limit);
// Q text. Returns the input bytes consumed; `*length` gets the bytes written to `out`.
size_t hdr_qp_decode(unsigned char* out, size_t* length, const char* text, size_t text_length,
                     size_t limit);

// The base64 alphabet and the grouping of its values, shared by the B decoder above and
// by the body decoder of Content-Transfer-Encoding base64.
struct hdr_base64_group {
    uint32_t values[4];
    size_t count;  // values collected, 0 to 4
};
// Collects values into `group` from `*at` on until it holds four, a '=' is met or the
// text ends; bytes outside the alphabet are skipped. True when it stopped at a '=' (then
// consumed). `*at` is left after the last byte read.
bool hdr_base64_collect(std::string_view text, size_t* at, hdr_base64_group& group);
// The bytes `group` holds: three from four values, two from three, one from two, none
// from fewer; written to `out`, their number returned.
size_t hdr_base64_group_bytes(const hdr_base64_group& group, unsigned char* out);
