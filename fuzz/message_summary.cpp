// The message summary over arbitrary message text, into a view that checks its cells.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>

#include "engine/list_row.h"
#include "header/summary.h"

namespace {

// Counts rows and insists that every cell set belongs to the last row.
class checking_view : public main_view {
  public:
    int rows = 0;

    int item_count() override { return rows; }
    void insert_item(int index) override {
        if (index != rows) std::abort();
        ++rows;
    }
    void set_item_text(int item, int subitem, const std::u16string& text) override {
        if (item != rows - 1 || subitem < 0 || subitem > 3) std::abort();
    }
    void set_progress(int) override {}
    int message_box(const std::string&, const std::string&, unsigned) override { return 1; }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    checking_view view;
    hdr_summary summary = hdr_message_summary(text.c_str());
    show_list_row(&view, summary.row.view(), &summary.decoded);
    if (view.rows != 1) std::abort();
    return 0;
}
