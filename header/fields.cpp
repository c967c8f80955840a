#include "header/fields.h"

#include <cstring>
#include <new>

#include "header/chars.h"

namespace {

// Printable ASCII other than space and colon.
bool is_field_name_byte(unsigned char byte) {
    return byte >= 0x21 && byte <= 0x7E && byte != ':';
}

bool is_special(unsigned char byte) {
    return byte != 0 && std::strchr("()<>@,;:\\\".[]", byte);
}

// '.' anywhere; otherwise ASCII that is neither special, space nor control.
bool is_atom_byte(unsigned char byte) {
    if (byte == '.') return true;
    return byte > 0x20 && byte < 0x7F && !is_special(byte);
}

// The length of the line break at `at` (CR LF or a bare LF), 0 when there is none.
size_t line_break_at(const char* at, const char* end) {
    if (*at == '\n') return 1;
    if (*at == '\r' && end - at >= 2 && at[1] == '\n') return 2;
    return 0;
}

// The next CR LF at or after `from`, or `end`.
const char* find_crlf(const char* from, const char* end) {
    while (from < end) {
        auto* cr = static_cast<const char*>(std::memchr(from, '\r', end - from));
        if (cr == nullptr || end - cr < 2) return end;
        if (cr[1] == '\n') return cr;
        from = cr + 1;
    }
    return end;
}

}  // namespace

// The name keeps its case; white space and comments may stand between it and the colon
// ("Subject (c) : x"). A first word without a colon after it (an mbox "From " line, the
// blank line that ends the header) is no field, and the cursor stays where it was.
int hdr_field_name_parse(const char** cursor, const char* end, std::string* name) {
    const char* start = *cursor;
    const char* at = start;
    while (at < end && is_field_name_byte(static_cast<unsigned char>(*at))) ++at;
    if (at == start) return 1;

    const char* name_end = at;
    *cursor = at;
    hdr_cfws_skip(cursor, end);
    hdr_fws_parse(cursor, end);
    if (*cursor == end || **cursor != ':') {
        *cursor = start;
        return 1;
    }
    try {
        name->assign(start, name_end);
    } catch (const std::bad_alloc&) {
        *cursor = start;
        return 12;
    }
    ++*cursor;
    return 0;
}

// Only the name and the colon are looked at: the value may be anything, or cut short.
bool hdr_begins_with_field(const char* text, const char* end) {
    const char* cursor = text;
    std::string name;
    return hdr_field_name_parse(&cursor, end, &name) == 0;
}

// Leading white space of the value is dropped; so is that of every continuation line when
// the lines are joined with nothing between them, while the other unfolding keeps it. Only
// CR LF ends a line: a lone CR or LF is part of the value. The cursor ends at the start of
// the next line (or the end). Without `value` the field is only passed over.
int hdr_field_value_parse(const char** cursor, const char* end, std::string* value,
                          hdr_unfolding unfolding) {
    if (value != nullptr) value->clear();
    const char* at = *cursor;
    for (bool first = true;; first = false) {
        if (first || unfolding == hdr_unfolding::joined) {
            while (at < end && hdr_is_wsp(*at)) ++at;
        }
        const char* line_end = find_crlf(at, end);
        try {
            if (value != nullptr) value->append(at, line_end);
        } catch (const std::bad_alloc&) {
            // This line's bytes are lost; the rest of the field is still read.
        }
        at = line_end;
        if (at == end) break;
        at += 2;
        if (at == end || !hdr_is_wsp(*at)) break;
    }
    *cursor = at;
    return 0;
}

const char* hdr_fields_walk(const char* text, const char* end, const hdr_field_visitor& visit,
                            hdr_unfolding unfolding) {
    const char* cursor = text;
    std::string name;
    std::string value;
    while (hdr_field_name_parse(&cursor, end, &name) == 0) {
        hdr_field_value_parse(&cursor, end, &value, unfolding);
        visit(name, value);
    }
    return cursor;
}

namespace {

// Whether a line that is no field stays none whatever text follows: its name, white space
// and comments end before the end of the text, far enough for a line break and the byte
// after it to be seen, at a byte that neither is the colon nor opens a comment (which
// would have run to the end unclosed).
bool no_field_for_good(const char* line, const char* end) {
    const char* at = line;
    while (at < end && is_field_name_byte(static_cast<unsigned char>(*at))) ++at;
    if (at == line) return at < end;  // a blank line, say
    if (at == end) return false;
    hdr_cfws_skip(&at, end);
    hdr_fws_parse(&at, end);
    return end - at > 2 && *at != '(';
}

}  // namespace

// A field whose value ends before the end of the text, followed by a line that does not
// continue it, stays as it is; so does the line that ends the walk, when no text after it
// could make a field of it.
bool hdr_fields_settled(const char* text, const char* end, size_t* resume) {
    const char* cursor = text + *resume;
    if (std::memchr(cursor, '\0', size_t(end - cursor)) != nullptr) return true;
    std::string name;
    for (;;) {
        const char* line = cursor;
        if (hdr_field_name_parse(&cursor, end, &name) != 0) {
            *resume = size_t(line - text);
            return no_field_for_good(line, end);
        }
        hdr_field_value_parse(&cursor, end, nullptr);
        if (cursor == end) {
            *resume = size_t(line - text);
            return false;
        }
    }
}

void hdr_fws_parse(const char** cursor, const char* end) {
    const char* at = *cursor;
    while (at < end) {
        if (hdr_is_wsp(*at)) {
            ++at;
            continue;
        }
        size_t line_break = line_break_at(at, end);
        if (line_break == 0) break;
        // A fold is a line break followed by white space; any other break ends the run.
        const char* after = at + line_break;
        if (after == end || !hdr_is_wsp(*after)) break;
        at = after + 1;
    }
    *cursor = at;
}

// Nested comments are counted rather than followed by recursion, so a long run of '('
// cannot exhaust the stack. A comment that is not closed before the end is not consumed,
// nor the white space before it.
int hdr_comment_parse(const char** cursor, const char* end) {
    const char* start = *cursor;
    hdr_fws_parse(cursor, end);
    const char* at = *cursor;
    if (at == end || *at != '(') return 1;

    ++at;
    size_t depth = 1;
    while (at < end) {
        char byte = *at;
        if (byte == ')') {
            ++at;
            if (--depth == 0) {
                *cursor = at;
                return 0;
            }
        } else if (byte == '(') {
            ++depth;
            ++at;
        } else if (byte == '\\') {
            // A quoted pair: an escaped parenthesis neither opens nor closes.
            if (end - at < 2) break;
            at += 2;
        } else {
            ++at;
        }
    }
    *cursor = start;
    return 1;
}

void hdr_cfws_skip(const char** cursor, const char* end) {
    while (hdr_comment_parse(cursor, end) == 0) {
    }
}

int hdr_atom_parse(const char** cursor, const char* end, std::string* atom) {
    hdr_cfws_skip(cursor, end);
    const char* start = *cursor;
    const char* at = start;
    while (at < end && is_atom_byte(static_cast<unsigned char>(*at))) ++at;
    if (at == start) return 1;
    try {
        atom->assign(start, at);
    } catch (const std::bad_alloc&) {
        return 12;
    }
    *cursor = at;
    return 0;
}

// No white space is skipped. When fewer than `min` digits stand there the cursor is put
// back; `value` then holds what was read.
int hdr_number_parse(uint32_t* value, const char** cursor, const char* end, unsigned min,
                     unsigned max) {
    const char* at = *cursor;
    unsigned digits = 0;
    *value = 0;
    while (at < end && digits < max && *at >= '0' && *at <= '9') {
        *value = *value * 10 + static_cast<uint32_t>(*at - '0');
        ++at;
        ++digits;
    }
    if (digits < min) return 1;
    *cursor = at;
    return 0;
}
