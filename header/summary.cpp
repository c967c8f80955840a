#include "header/summary.h"

#include <cstring>
#include <new>
#include <utility>

#include "header/date.h"
#include "header/decode.h"
#include "header/fields.h"
#include "platform/text.h"

namespace {

enum column { column_from = 0, column_subject = 1, column_to = 2, column_date = 3 };

// Sets a cell of the list's last row; the count is asked anew each time.
void set_last_row_cell(main_view* dialog, int column, const std::u16string& text) {
    if (dialog != nullptr) dialog->set_item_text(dialog->item_count() - 1, column, text);
}

// Subject, From and To: the raw value goes to the cell and to `raw`, the decoded value to
// the list (which may show it instead) and to the result (none when memory runs out).
void take_text_field(const std::string& value, main_view* dialog, int column, std::u16string& raw,
                     std::optional<std::string>* result) {
    bool to_list = dialog != nullptr && dialog->keeps_decoded_text();
    std::optional<std::string> decoded;
    try {
        if (result != nullptr || to_list) decoded = hdr_decode_text(value);
    } catch (const std::bad_alloc&) {
    }
    raw = platform::ansi_to_utf16(value);
    set_last_row_cell(dialog, column, raw);
    if (to_list && decoded)
        dialog->set_item_decoded_text(dialog->item_count() - 1, column, *decoded);
    if (result != nullptr) *result = std::move(decoded);
}

// The Date cell shows the value as written; the result is set only when it parses.
void take_date_field(const std::string& value, main_view* dialog, int64_t* date) {
    set_last_row_cell(dialog, column_date, platform::ansi_to_utf16(value));
    if (date == nullptr) return;
    std::optional<int64_t> seconds = hdr_date_value(value);
    if (seconds) *date = *seconds;
}

}  // namespace

// Every message gets its row before any field is read. The header walk stops at the first
// line that is not a field (the blank line, or an mbox "From " line); a field that occurs
// more than once ends with its last value. The raw values belong to this message alone, so
// a message without a To field never carries another message's receiver.
void hdr_message_summary(const char* text, main_view* dialog, std::optional<std::string>* subject,
                         std::optional<std::string>* from, std::optional<std::string>* to,
                         int64_t* date, hdr_raw_fields* raw) {
    hdr_raw_fields values;
    if (dialog != nullptr) dialog->insert_item(dialog->item_count());
    if (text == nullptr) {
        if (raw != nullptr) *raw = {};
        return;
    }

    hdr_fields_walk(text, text + std::strlen(text),
                    [&](const std::string& name, const std::string& value) {
                        if (platform::equal_ignoring_case(name, "subject")) {
                            take_text_field(value, dialog, column_subject, values.subject, subject);
                        } else if (platform::equal_ignoring_case(name, "from")) {
                            take_text_field(value, dialog, column_from, values.from, from);
                        } else if (platform::equal_ignoring_case(name, "to")) {
                            take_text_field(value, dialog, column_to, values.to, to);
                        } else if (platform::equal_ignoring_case(name, "date")) {
                            take_date_field(value, dialog, date);
                        }
                    });
    if (raw != nullptr) *raw = std::move(values);
}
