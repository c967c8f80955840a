#include "engine/list_row.h"

#include <optional>
#include <string>

void add_list_row(main_view* view) {
    if (view != nullptr) view->insert_item(view->item_count());
}

// The cells go column by column, each value as written and then, for a list that keeps
// it, decoded; the row's number is asked anew for each cell. A list that keeps no decoded
// values is spared the decoding.
void fill_list_row(main_view* view, const hdr_row_view& row, const hdr_decoded_values* decoded) {
    if (view == nullptr) return;
    std::optional<hdr_decoded_values> decoded_here;
    bool keeps_decoded = view->keeps_decoded_text();
    if (keeps_decoded && decoded == nullptr) decoded = &decoded_here.emplace(hdr_decode_row(row));
    for (int column = 0; column < int(row.size()); ++column) {
        if (!row[column]) continue;
        view->set_item_ansi_text(view->item_count() - 1, column, *row[column]);
        if (!keeps_decoded || column == hdr_date) continue;
        if (const std::optional<std::string>& value = (*decoded)[size_t(column)])
            view->set_item_decoded_text(view->item_count() - 1, column, *value);
    }
}

void show_list_row(main_view* view, const hdr_row_view& row, const hdr_decoded_values* decoded) {
    add_list_row(view);
    fill_list_row(view, row, decoded);
}
