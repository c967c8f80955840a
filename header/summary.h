#pragma once
// The message summary: the values of the fields a message is known by (sender, subject,
// receiver, date), as written and decoded. The list, the file name and time, the record of
// the run and the .msg file take them from here; showing them is the view's affair.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// The fields a message is known by, in the order of the list's columns.
enum hdr_main_field { hdr_from = 0, hdr_subject = 1, hdr_to = 2, hdr_date = 3 };
using hdr_main_values = std::array<std::optional<std::string>, 4>;

// The values, as written, of the last From, Subject, To and Date field of the header that
// begins at `text`; none where the field does not occur. Every reader of a message's
// sender, receiver, subject and date (the list, the file name and time, the record of the
// run, the .msg file) takes them from here.
hdr_main_values hdr_main_fields(const char* text, const char* end);

// The message's date in seconds since 1970 UTC: the last Date field's, none when that one
// does not parse (an earlier Date field is not looked at).
std::optional<int64_t> hdr_message_date(const hdr_main_values& fields);

// A row of the list: the main fields by column, as written.
using hdr_row_view = std::array<std::optional<std::string_view>, 4>;
struct hdr_row {
    hdr_main_values cells;
    hdr_row_view view() const;
};
// The row of the message whose text, up to its NUL, is `text`.
hdr_row hdr_row_of(const char* text);

// From, Subject and To (the first three columns) decoded into UTF-8 for people to read;
// none where the field does not occur, or where memory ran out for its decoding (a help to
// the eye only). A word may decode to a NUL; names are built from the bytes before it.
using hdr_decoded_values = std::array<std::optional<std::string>, 3>;
hdr_decoded_values hdr_decode_row(const hdr_row_view& row);

// The raw Subject, From and To values of one message, as written; empty when the field does
// not occur.
struct hdr_raw_fields {
    std::string subject;
    std::string from;
    std::string to;
};
hdr_raw_fields hdr_raw_values(const hdr_row_view& row);

// Everything a run that reads the message whole takes from its header.
struct hdr_summary {
    hdr_row row;                 // the list's cells, as written
    hdr_decoded_values decoded;  // From, Subject and To for people to read
    std::optional<int64_t> date;
};
// The summary of the message whose text, up to its NUL, is `text`.
hdr_summary hdr_message_summary(const char* text);
