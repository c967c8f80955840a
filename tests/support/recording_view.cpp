#include "recording_view.h"

#include <stdexcept>

int recording_view::item_count() {
    return static_cast<int>(rows.size());
}

void recording_view::insert_item(int index) {
    if (index < 0 || index > item_count()) throw std::out_of_range("insert_item index");
    row inserted;
    inserted.image = 1;
    rows.insert(rows.begin() + index, inserted);
}

void recording_view::set_item_text(int item, int subitem, const std::u16string& text) {
    if (item < 0 || item >= item_count() || subitem < 0 || subitem > 3) {
        throw std::out_of_range("set_item_text cell");
    }
    rows[item].cells[subitem] = text;
}

void recording_view::set_progress(int position) {
    progress.push_back(position);
}

int recording_view::message_box(const std::string& text, const std::string& title, unsigned flags) {
    boxes.push_back({text, title, flags});
    return 1;  // IDOK
}

bool recording_view::checkpoint() {
    ++checkpoints;
    return abandon_at == 0 || checkpoints < abandon_at;
}
