#pragma once
// The message summary: one row in the message list and the decoded header values.

#include <cstdint>
#include <optional>
#include <string>

#include "platform/view.h"

// Raw Subject, From and To values of the message summarised last, as UTF-16.
extern std::u16string msg_subject;
extern std::u16string msg_from;
extern std::u16string msg_to;

// Adds the message's row to `dialog`'s list and fills its cells; sets each result only
// when its field occurs (the date only when it parses). Results are byte strings that
// may hold a NUL from a decoded word; names are built from the bytes before it.
void hdr_message_summary(const char* text, main_view* dialog, std::optional<std::string>* subject,
                         std::optional<std::string>* from, std::optional<std::string>* to,
                         int64_t* date);
