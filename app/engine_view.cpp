#include "app/engine_view.h"

#include <new>

#include "app/message_flags.h"
#include "app/shell_seams.h"
#include "app/wide_text.h"
#include "engine/list_row.h"

int engine_view::item_count() {
    return rows_.count();
}

void engine_view::insert_item(int index) {
    if (worker_run_abandoned()) return;
    rows_.insert(index);
}

void engine_view::set_item_text(int item, int subitem, const std::u16string& text) {
    if (worker_run_abandoned()) return;
    rows_.set_cell(item, subitem, text);
}

// A decoded value is a help to the eye only: when memory runs out for it, the row shows
// the value as written and the message goes on.
void engine_view::set_item_decoded_text(int item, int subitem, const std::string& text) {
    if (worker_run_abandoned()) return;
    try {
        rows_.set_decoded(item, subitem, text);
    } catch (const std::bad_alloc&) {
    }
}

void engine_view::found_view::set_item_decoded_text(int item, int subitem,
                                                    const std::string& text) {
    try {
        rows.set_decoded(item, subitem, text);
    } catch (const std::bad_alloc&) {
    }
}

// A found row is only a preview of the list: when memory runs out for it, the scan goes on
// without it.
void engine_view::message_found(int list,
                                const std::array<std::optional<std::string_view>, 4>& cells) {
    if (!on_run_thread() || worker_run_abandoned() || chains_counted_) return;
    try {
        found_.rows.chain_begins(list, -1);
        show_list_row(&found_, cells);
    } catch (const std::bad_alloc&) {
        return;
    }
    std::unique_lock<std::mutex> hold(hold_lock_);
    if (hold_after_ <= 0 || found_.rows.count() < hold_after_) return;
    hold.unlock();
    found_.rows.hand_over(true);
    SendMessageW(window_, take_rows_message, 0, 0);
    hold.lock();
    hold_changed_.wait(hold, [this] { return hold_after_ <= 0; });
}

void engine_view::hold_scan_after(int rows) {
    std::lock_guard<std::mutex> hold(hold_lock_);
    hold_after_ = rows;
}

void engine_view::let_scan_go() {
    {
        std::lock_guard<std::mutex> hold(hold_lock_);
        hold_after_ = 0;
    }
    hold_changed_.notify_all();
}

void engine_view::reset_progress(int scan_share) {
    progress_ = 0;
    scan_share_ = scan_share;
    chains_counted_ = false;
    chains_ = 0;
    chains_begun_ = 0;
}

// Only a run moves the bar: the scan of a message opened or previewed does not. The
// engine's positions count the scan; once the chains are counted, they move it.
void engine_view::set_progress(int position) {
    if (!on_run_thread() || worker_run_abandoned() || chains_counted_) return;
    progress_ = position * scan_share_ / 100;
}

void engine_view::chains_to_handle(int count) {
    if (!on_run_thread() || worker_run_abandoned()) return;
    chains_counted_ = true;
    // The chains' rows replace the found ones: the list shows them once there are as many.
    found_.rows.hand_over(true);
    rows_.hold_first_rows(found_.rows.count());
    chains_ = count;
    chains_begun_ = 0;
    progress_ = scan_share_;
}

void engine_view::chain_begins(int list, int chain) {
    if (worker_run_abandoned()) return;
    rows_.chain_begins(list, chain);
    if (!on_run_thread() || !chains_counted_ || chains_ <= 0) return;
    progress_ = scan_share_ + int((100 - scan_share_) * chains_begun_ / chains_);
    chains_begun_ += chains_begun_ < chains_;
}

void engine_view::chain_state(bool indexed, uint32_t flags, std::optional<int64_t> received,
                              const std::string& folder) {
    if (worker_run_abandoned()) return;
    rows_.chain_state({indexed, flags, received, folder});
}

// The rows found so far show before the box, so the list is whole behind it.
int engine_view::message_box(const std::string& text, const std::string& title, unsigned flags) {
    if (worker_run_abandoned()) return IDCANCEL;
    if (hold_box(text, title, flags)) return IDOK;
    rows_.hand_over(true);
    SendMessageW(window_, take_rows_message, 0, 0);
    return seams.message_box(window_, to_wide(text), to_wide(title), flags);
}

bool engine_view::checkpoint() {
    return worker_checkpoint();
}

void engine_view::run_ended(const run_report& report) {
    if (worker_run_abandoned()) {
        unreadable_.clear();
        return;
    }
    rows_.hand_over(true);
    progress_ = 0;
    SendMessageW(window_, run_ended_message, 0, reinterpret_cast<LPARAM>(&report));
    show_unreadable();
}

void engine_view::unreadable_bytes(const std::string& store, const std::string& what) {
    unreadable_store_ = store;
    unreadable_.push_back(what);
}

// One box at the end of a run lists the bytes of the store that could not be read.
void engine_view::show_unreadable() {
    if (unreadable_.empty()) return;
    constexpr size_t listed_at_most = 20;
    std::string text = "Parts of " + unreadable_store_ +
                       " could not be read. Messages in them are missing, and messages that "
                       "touch them were not saved:\n";
    for (size_t i = 0; i < unreadable_.size() && i < listed_at_most; ++i)
        text += "\n" + unreadable_[i];
    if (unreadable_.size() > listed_at_most) {
        text += "\n... and " + std::to_string(unreadable_.size() - listed_at_most) + " more";
    }
    unreadable_.clear();
    message_box(text, "Tavrin Morvale", warning_box);
}
