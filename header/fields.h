#pragma once
// Header fields and the small lexical scanners of internet message headers.
//
// Every scanner works on a cursor (advanced in place) and an end pointer (the position of
// the text's terminating NUL); none reads at or past the end. Results: 0 success, 1 the
// construct is absent or incomplete, 12 out of memory.

#include <cstdint>
#include <functional>
#include <string>

// Field name and the colon after it.
int hdr_field_name_parse(const char** cursor, const char* end, std::string* name);
// True when the text begins with a field name and its colon, as a message's first line does.
bool hdr_begins_with_field(const char* text, const char* end);
// How continuation lines are joined: `joined` drops the line break and the blanks after it
// (the list and the file names read values so); `blanks_kept` drops the line break only,
// as readers of MIME structure and of text for people must.
enum class hdr_unfolding { joined, blanks_kept };

// Field value up to the start of the next line, continuation lines joined; with a null
// `value`, the cursor only moves past it.
int hdr_field_value_parse(const char** cursor, const char* end, std::string* value,
                          hdr_unfolding unfolding = hdr_unfolding::joined);

// Calls `visit(name, value)` for every field from `text` on, up to the first line that is
// not a field (the blank line that ends the header, say); returns where that line starts.
using hdr_field_visitor = std::function<void(const std::string& name, const std::string& value)>;
const char* hdr_fields_walk(const char* text, const char* end, const hdr_field_visitor& visit,
                            hdr_unfolding unfolding = hdr_unfolding::joined);

// True when every text that begins with [text, end) gives the walk the same fields as
// this text: it holds a NUL byte, or the walk stops before its end at a line that cannot
// begin a field (the blank line, say). `resume` (0 at first) keeps where the walk got to,
// for the next call on the same text grown longer.
bool hdr_fields_settled(const char* text, const char* end, size_t* resume);

// White space and folds; a line break that is not a fold stays.
void hdr_fws_parse(const char** cursor, const char* end);
// White space, then one complete comment.
int hdr_comment_parse(const char** cursor, const char* end);
// Any mix of white space, folds and complete comments.
void hdr_cfws_skip(const char** cursor, const char* end);

// One atom after comments and white space.
int hdr_atom_parse(const char** cursor, const char* end, std::string* atom);
// Between `min` and `max` decimal digits.
int hdr_number_parse(uint32_t* value, const char** cursor, const char* end, unsigned min,
                     unsigned max);
