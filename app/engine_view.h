#pragma once
// The engine's view of the dialog during a run, on the worker thread: the rows and the
// progress are only recorded here, and the dialog's window shows them when its timer
// fires, so the worker never waits for the screen. Boxes and the run's end are sent to
// the window. An abandoned run's calls go nowhere: it touches the dialog no more.

#include <windows.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "app/message_rows.h"
#include "app/worker.h"
#include "platform/view.h"

// Sent to the window when the rows handed over are to be shown now.
constexpr UINT take_rows_message = WM_APP + 1;
// Sent to the window when a run has ended (LPARAM: the run's report).
constexpr UINT run_ended_message = WM_APP + 2;

class engine_view : public main_view {
  public:
    // The window the rows, the boxes and the run's end go to.
    void attach(HWND window) { window_ = window; }

    // The rows the engine gave, for the window to take.
    message_rows& rows() { return rows_; }
    // The rows of the messages the scan found while it read the store, for the window to
    // list until the chains' rows come; those come at once, as many as these or more, or
    // when the run ends.
    message_rows& found_rows() { return found_.rows; }
    // The run's share done, 0 to 100, in one pass over its scan and its chains: the scan
    // takes the first `scan_share` per cent (none for a run that takes a scan made
    // before), the chains the rest, each an equal part. Reset when a run starts or stops.
    int progress() const { return progress_.load(); }
    void reset_progress(int scan_share = 0);

    int item_count() override;
    void insert_item(int index) override;
    void set_item_text(int item, int subitem, const std::u16string& text) override;
    void set_item_decoded_text(int item, int subitem, const std::string& text) override;
    void chain_begins(int list, int chain) override;
    void chains_to_handle(int count) override;
    void message_found(int list,
                       const std::array<std::optional<std::string_view>, 4>& cells) override;
    void chain_state(bool indexed, uint32_t flags, std::optional<int64_t> received,
                     const std::string& folder) override;
    bool keeps_decoded_text() override { return true; }
    void set_progress(int position) override;
    int message_box(const std::string& text, const std::string& title, unsigned flags) override;
    void unreadable_bytes(const std::string& store, const std::string& what) override;
    bool checkpoint() override;
    // When the run ends: unless it was abandoned, the last rows and the empty bar show at
    // once, the window hears what the run did, and the bytes it could not read are listed.
    void run_ended(const run_report& report);

    // For tests: the scan of the next run waits once it has found `rows` messages, until
    // let_scan_go(); their rows are handed to the window before it waits.
    void hold_scan_after(int rows);
    void let_scan_go();

  private:
    void show_unreadable();

    // The engine's view of the found rows: each is filled as a chain's row is.
    struct found_view : main_view {
        message_rows rows{true};
        int item_count() override { return rows.count(); }
        void insert_item(int index) override { rows.insert(index); }
        void set_item_text(int item, int subitem, const std::u16string& text) override {
            rows.set_cell(item, subitem, text);
        }
        void set_item_decoded_text(int item, int subitem, const std::string& text) override;
        bool keeps_decoded_text() override { return true; }
        void set_progress(int) override {}
        int message_box(const std::string&, const std::string&, unsigned) override { return 0; }
    };

    HWND window_ = nullptr;
    message_rows rows_;
    found_view found_;
    std::mutex hold_lock_;
    std::condition_variable hold_changed_;
    int hold_after_ = 0;  // guarded by hold_lock_: 0 holds nothing
    std::atomic<int> progress_{0};
    // Set before a run starts; then the run's thread alone uses them.
    int scan_share_ = 0;
    bool chains_counted_ = false;  // the scan has ended: the chains move the bar
    int64_t chains_ = 0;
    int64_t chains_begun_ = 0;
    std::string unreadable_store_;  // what the run could not read
    std::vector<std::string> unreadable_;
};
