#include "platform/view.h"

#include "platform/text.h"

main_view* main_dialog = nullptr;

void main_view::set_item_ansi_text(int item, int subitem, std::string_view bytes) {
    set_item_text(item, subitem, platform::ansi_to_utf16(bytes));
}
