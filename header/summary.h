#pragma once
// The message summary: one row in the message list and the decoded header values.

#include <cstdint>
#include <optional>
#include <string>

#include "platform/view.h"

// The raw Subject, From and To values of one message as UTF-16 (through the ANSI code
// page, as the list shows them); empty when the field does not occur.
struct hdr_raw_fields {
    std::u16string subject;
    std::u16string from;
    std::u16string to;
};

// Adds the message's row to `dialog`'s list and fills its cells; sets each result only
// when its field occurs (the date only when it parses). Subject, From and To come back
// decoded into UTF-8 for people to read (a word may decode to a NUL; names are built from
// the bytes before it); `raw`, when given, gets the values as written.
void hdr_message_summary(const char* text, main_view* dialog, std::optional<std::string>* subject,
                         std::optional<std::string>* from, std::optional<std::string>* to,
                         int64_t* date, hdr_raw_fields* raw = nullptr);
