#include "header/summary.h"

#include <cstring>

#include "header/date.h"
#include "header/fields.h"
#include "header/words.h"
#include "platform/text.h"

std::u16string msg_subject;
std::u16string msg_from;
std::u16string msg_to;

namespace {

enum column { column_from = 0, column_subject = 1, column_to = 2, column_date = 3 };

// Sets a cell of the list's last row; the count is asked anew each time.
void set_last_row_cell(main_view* dialog, int column, const std::u16string& text) {
    if (dialog != nullptr) dialog->set_item_text(dialog->item_count() - 1, column, text);
}

// Subject, From and To: the decoded value goes to the result (none when decoding fails),
// the raw value to the global string and the cell.
void take_text_field(const std::string& value, main_view* dialog, int column, std::u16string& raw,
                     std::optional<std::string>* result) {
    if (result != nullptr) {
        result->reset();
        std::string decoded;
        if (hdr_decode_words(value.c_str(), &decoded) == 0) *result = std::move(decoded);
    }
    raw = platform::ansi_to_utf16(value);
    set_last_row_cell(dialog, column, raw);
}

// The Date cell shows the value as written; the result is set only when it parses.
void take_date_field(const std::string& value, main_view* dialog, int64_t* date) {
    set_last_row_cell(dialog, column_date, platform::ansi_to_utf16(value));
    const char* cursor = value.data();
    struct tm time {};
    int64_t zone = 0;
    if (hdr_date_time_parse(&cursor, value.data() + value.size(), &time, &zone) == 0 &&
        date != nullptr) {
        *date = hdr_tm_to_utc(&time, zone);
    }
}

}  // namespace

// Every message gets its row before any field is read. The header walk stops at the first
// line that is not a field (the blank line, or an mbox "From " line); a field that occurs
// more than once ends with its last value. The raw-value globals are emptied first, so a
// message without a To field never carries the previous message's receiver.
void hdr_message_summary(const char* text, main_view* dialog, std::optional<std::string>* subject,
                         std::optional<std::string>* from, std::optional<std::string>* to,
                         int64_t* date) {
    msg_subject.clear();
    msg_from.clear();
    msg_to.clear();
    if (dialog != nullptr) dialog->insert_item(dialog->item_count());
    if (text == nullptr) return;

    const char* cursor = text;
    const char* end = text + std::strlen(text);
    std::string name;
    std::string value;
    while (hdr_field_name_parse(&cursor, end, &name) == 0) {
        hdr_field_value_parse(&cursor, end, &value);
        if (platform::equal_ignoring_case(name, "subject")) {
            take_text_field(value, dialog, column_subject, msg_subject, subject);
        } else if (platform::equal_ignoring_case(name, "from")) {
            take_text_field(value, dialog, column_from, msg_from, from);
        } else if (platform::equal_ignoring_case(name, "to")) {
            take_text_field(value, dialog, column_to, msg_to, to);
        } else if (platform::equal_ignoring_case(name, "date")) {
            take_date_field(value, dialog, date);
        }
    }
}
