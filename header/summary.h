#pragma once
// The message summary: one row in the message list and the decoded header values.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/view.h"

// The raw Subject, From and To values of one message, as written; empty when the field does
// not occur.
struct hdr_raw_fields {
    std::string subject;
    std::string from;
    std::string to;
};

// Adds the message's row to `dialog`'s list and fills its cells with the main fields; sets
// each result only when its field occurs (the date only when the last Date field parses).
// Subject, From and To come back decoded into UTF-8 for people to read (a word may decode
// to a NUL; names are built from the bytes before it); `raw`, when given, gets the values
// as written.
void hdr_message_summary(const char* text, main_view* dialog, std::optional<std::string>* subject,
                         std::optional<std::string>* from, std::optional<std::string>* to,
                         int64_t* date, hdr_raw_fields* raw = nullptr);

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

// A row of the list alone, as a run that only lists the messages shows it: the main
// fields by column. hdr_message_summary fills the list with the same row.
using hdr_row_view = std::array<std::optional<std::string_view>, 4>;
struct hdr_row {
    hdr_main_values cells;
    hdr_row_view view() const;
};
// The row of the message whose text, up to its NUL, is `text`.
hdr_row hdr_row_of(const char* text);
// Adds the row to `dialog`'s list.
void hdr_show_row(main_view* dialog, const hdr_row_view& row);
