#include "header/summary.h"

#include <cstring>
#include <new>
#include <utility>

#include "header/date.h"
#include "header/decode.h"
#include "header/fields.h"
#include "platform/text.h"

namespace {

enum column {
    column_from = hdr_from,
    column_subject = hdr_subject,
    column_to = hdr_to,
    column_date = hdr_date,
    column_none = -1
};

// The column a field fills, from its name in any case.
column column_of(const std::string& name) {
    switch (name.size()) {
        case 2:
            return platform::equal_ignoring_case(name, "to") ? column_to : column_none;
        case 4:
            if (platform::equal_ignoring_case(name, "from")) return column_from;
            return platform::equal_ignoring_case(name, "date") ? column_date : column_none;
        case 7:
            return platform::equal_ignoring_case(name, "subject") ? column_subject : column_none;
        default:
            return column_none;
    }
}

// Sets a cell of the list's last row; the count is asked anew each time.
void set_last_row_cell(main_view* dialog, int column, std::string_view value) {
    if (dialog != nullptr) dialog->set_item_ansi_text(dialog->item_count() - 1, column, value);
}

// Subject, From and To: the raw value goes to the cell and, when asked for, to `raw`; the
// decoded value to the list (which may show it instead) and to the result (none when
// memory runs out).
void take_text_field(std::string_view value, main_view* dialog, int column, std::string* raw,
                     std::optional<std::string>* result) {
    bool to_list = dialog != nullptr && dialog->keeps_decoded_text();
    std::optional<std::string> decoded;
    try {
        if (result != nullptr || to_list) decoded = hdr_decode_text(value);
    } catch (const std::bad_alloc&) {
    }
    if (raw != nullptr) *raw = value;
    set_last_row_cell(dialog, column, value);
    if (to_list && decoded)
        dialog->set_item_decoded_text(dialog->item_count() - 1, column, *decoded);
    if (result != nullptr) *result = std::move(decoded);
}

// The Date cell shows the value as written.
void take_date_field(std::string_view value, main_view* dialog) {
    set_last_row_cell(dialog, column_date, value);
}

}  // namespace

// Every message gets its row before any field is read; its cells and results are those of
// the main fields. The raw values belong to this message alone, so a message without a To
// field never carries another message's receiver.
void hdr_message_summary(const char* text, main_view* dialog, std::optional<std::string>* subject,
                         std::optional<std::string>* from, std::optional<std::string>* to,
                         int64_t* date, hdr_raw_fields* raw) {
    hdr_raw_fields values;
    if (dialog != nullptr) dialog->insert_item(dialog->item_count());
    if (text == nullptr) {
        if (raw != nullptr) *raw = {};
        return;
    }
    bool keep_raw = raw != nullptr;
    hdr_main_values fields = hdr_main_fields(text, text + std::strlen(text));
    if (fields[hdr_from])
        take_text_field(*fields[hdr_from], dialog, column_from, keep_raw ? &values.from : nullptr,
                        from);
    if (fields[hdr_subject])
        take_text_field(*fields[hdr_subject], dialog, column_subject,
                        keep_raw ? &values.subject : nullptr, subject);
    if (fields[hdr_to])
        take_text_field(*fields[hdr_to], dialog, column_to, keep_raw ? &values.to : nullptr, to);
    if (fields[hdr_date]) take_date_field(*fields[hdr_date], dialog);
    std::optional<int64_t> seconds = hdr_message_date(fields);
    if (date != nullptr && seconds) *date = *seconds;
    if (raw != nullptr) *raw = std::move(values);
}

// The header walk stops at the first line that is not a field (the blank line, or an mbox
// "From " line); a field that occurs more than once ends with its last value. The values
// of the other fields are passed over without being copied.
hdr_main_values hdr_main_fields(const char* text, const char* end) {
    hdr_main_values fields;
    const char* cursor = text;
    std::string name;
    while (hdr_field_name_parse(&cursor, end, &name) == 0) {
        column field = column_of(name);
        if (field == column_none) {
            hdr_field_value_parse(&cursor, end, nullptr);
            continue;
        }
        std::string& value = fields[field].emplace();
        hdr_field_value_parse(&cursor, end, &value);
    }
    return fields;
}

std::optional<int64_t> hdr_message_date(const hdr_main_values& fields) {
    if (!fields[hdr_date]) return std::nullopt;
    return hdr_date_value(*fields[hdr_date]);
}

hdr_row hdr_row_of(const char* text) {
    return hdr_row{hdr_main_fields(text, text + std::strlen(text))};
}

hdr_row_view hdr_row::view() const {
    hdr_row_view view;
    for (size_t column = 0; column < cells.size(); ++column) {
        if (cells[column]) view[column] = *cells[column];
    }
    return view;
}

void hdr_show_row(main_view* dialog, const hdr_row_view& row) {
    if (dialog == nullptr) return;
    dialog->insert_item(dialog->item_count());
    for (int column = 0; column < int(row.size()); ++column) {
        if (!row[column]) continue;
        if (column == column_date) {
            take_date_field(*row[column], dialog);
        } else {
            take_text_field(*row[column], dialog, column, nullptr, nullptr);
        }
    }
}
