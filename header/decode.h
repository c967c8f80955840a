#pragma once
// Header text for people to read: encoded words (RFC 2047) and parameter values (RFC 2231)
// converted from their charsets, and raw bytes, all into UTF-8.
//
// Every result is valid UTF-8 (a NUL byte a word encodes included). A charset the
// program does not know, or bytes not valid in it, are read as Windows-1252. Raw bytes
// outside encoded words keep every valid UTF-8 sequence; the other bytes are read through
// the ANSI code page (Windows-1252 off Windows).

#include <string>
#include <string_view>

// How text is read. By default (file names), a word's bytes are read in its charset when
// they are all valid there, else all as Windows-1252. Text shown in a message item replaces
// only the bytes not valid in the charset, and reads raw bytes that are not UTF-8 in the
// charset the message's text declares, when it declares one the program knows.
struct hdr_reading {
    bool replace_invalid = false;
    std::string_view raw_charset;
};

// A header value (unstructured text or a phrase, unfolded) with its encoded words decoded.
std::string hdr_decode_text(std::string_view value, const hdr_reading& reading = {});

// An RFC 2231 extended parameter value, "charset'language'percent-encoded text", its
// continuations already joined in order.
std::string hdr_decode_parameter(std::string_view value);

// The octets of such a value, percent-encoding undone, and the charset it names (empty
// when it names none).
std::string hdr_parameter_octets(std::string_view value, std::string_view* charset = nullptr);

// Bytes of the named charset (a body part, say).
std::string hdr_charset_to_utf8(std::string_view charset, std::string_view bytes,
                                const hdr_reading& reading = {});

// Raw header bytes that carry no charset of their own.
std::string hdr_raw_to_utf8(std::string_view bytes, const hdr_reading& reading = {});
