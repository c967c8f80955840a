#pragma once
// One extraction run: its totals, the driver over both lists, the frame a store run and a
// carve run share, and what a run says to the dialog.

#include <string>
#include <vector>

#include "dbx/dbx.h"
#include "engine/engine.h"
#include "engine/read_message.h"
#include "platform/view.h"

struct run_outcome;
class message_sink;
class store_state;

struct recover_totals {
    int errors = 0;
    bool abandoned = false;
    bool output_failed = false;  // the collection of a collection run could not be written
    std::vector<unreadable_range> unreadable;  // reported so far, scan's and messages'
    bool damaged = false;  // the image is damaged besides (a segment missing or too long)
    integrity_counts integrity;
    int missing = 0;  // messages the index names that the scan did not find
};

// One run over a store's lists: what it shows to, where its messages go, how it reads
// them (`mode` 0 a list's headers, 1 the stored bytes, 2 the bytes for a .msg file) and,
// with `chosen` (sorted), which chains it handles.
struct recover_run {
    main_view* dialog;
    message_sink& sink;
    int mode = 0;
    const std::vector<chain_id>* chosen = nullptr;
    // What the store's index and folder tree add to its chains; null when nothing.
    const store_state* state = nullptr;
    const std::string* folder_path = nullptr;
};

// Drives both lists, handing each chain read to the run's sink; `totals` carries what was
// reported before (the scan's unreadable ranges), so that nothing is reported twice.
recover_totals _recover(const recover_run& run, dbx_t* store, recover_totals totals = {});

// "messages" or "deleted message fragments", as the run's lines name list `list`.
const char* _list_name(int list);

// What a store run and a carve run each do inside the frame they share.
class run_steps {
  public:
    virtual ~run_steps() = default;
    // Opens the store or the image; false when it cannot be opened (said by the opening).
    virtual bool open() = 0;
    // Says more about an opening that failed, when the run was not abandoned.
    virtual void say_not_opened() {}
    // Reports the bytes the opening could not read.
    virtual void report_unreadable(main_view* dialog, recover_totals& totals) = 0;
    // True, said to the dialog, when nothing was found to list or save.
    virtual bool nothing_found(main_view* dialog) = 0;
    // Lists or saves what was found; a save run marks the folders it entered in `result`.
    virtual void run(main_view* dialog, recover_totals& totals, run_outcome& result) = 0;
    // Closes what was opened, before the closing box.
    virtual void close() = 0;
};

// The frame of a run: the main dialog (a silent one without), the working directory kept
// and given back however the run ends, the opening, the unreadable bytes reported, a
// store with nothing in it said, the run, its outcome and the closing box of a save run.
// Returns 0 when a save run entered its output folder, otherwise -1.
int run_in_frame(bool saving, run_steps& steps, run_outcome* outcome);

// A dialog that shows nothing, for runs without a main dialog.
class silent_view : public main_view {
  public:
    int item_count() override { return count_; }
    void insert_item(int) override { ++count_; }
    void set_item_text(int, int, const std::u16string&) override {}
    void set_progress(int) override {}
    int message_box(const std::string&, const std::string&, unsigned) override { return 1; }

  private:
    int count_ = 0;
};

// Says once, on standard error and to the dialog, that a range of the store could not be
// read.
void report_unreadable(main_view* dialog, recover_totals& totals, const std::string& file_name,
                       const unreadable_range& range);

// The closing box of a save run.
void show_completion(main_view* dialog, const run_outcome& outcome);

// The record of chain `chain` as read: where it lies, what it holds and how whole it is.
chain_record _chain_record(const dbx_t* store, int list, int chain, const message_read& message,
                           const chain_integrity& integrity);

// The store's own index joined to the chains the scan found; what of it was unsound is said
// once on standard error. The store's source must be open.
store_state _read_store_state(const dbx_t& store);

// Hands the chain observer, when there is one, a record of each message the index of the
// run's store names whose blocks the scan did not find, and says on standard error how
// many there were; counted in `totals`.
void _note_missing(const recover_run& run, const dbx_t* store, recover_totals& totals);

// What the text read of a chain says of its start: whether it begins with a header field,
// and its first bytes.
chain_start _chain_start(const message_read& message);

// Completes the record with what became of the chain and hands it to the chain observer,
// when there is one: `usable` false when the message could not be read, `saved` the result
// of saving it (1 saved, 2 failed, 0 a list run's), `file` where it went when saved.
void _note_chain(chain_record& record, const message_read& message, bool usable, int saved,
                 std::string file);
