#include "header/summary.h"

#include <cstring>
#include <new>

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

}  // namespace

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

// Each value is decoded on its own: when memory runs out for one, it alone has none.
hdr_decoded_values hdr_decode_row(const hdr_row_view& row) {
    hdr_decoded_values decoded;
    for (size_t column = 0; column < decoded.size(); ++column) {
        if (!row[column]) continue;
        try {
            decoded[column] = hdr_decode_text(*row[column]);
        } catch (const std::bad_alloc&) {
        }
    }
    return decoded;
}

hdr_raw_fields hdr_raw_values(const hdr_row_view& row) {
    hdr_raw_fields raw;
    if (row[hdr_from]) raw.from = *row[hdr_from];
    if (row[hdr_subject]) raw.subject = *row[hdr_subject];
    if (row[hdr_to]) raw.to = *row[hdr_to];
    return raw;
}

hdr_summary hdr_message_summary(const char* text) {
    hdr_summary summary{hdr_row_of(text), {}, {}};
    summary.decoded = hdr_decode_row(summary.row.view());
    summary.date = hdr_message_date(summary.row.cells);
    return summary;
}
