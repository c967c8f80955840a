#pragma once
// Encoded words ("=?charset?B|Q?text?=") in header values, decoded to the octets they
// carry. The charset is read and ignored: the result mixes raw and decoded bytes.

#include <cstddef>
#include <string>

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
