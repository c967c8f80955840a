#pragma once
// The routines inside one extraction run.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "dbx/dbx.h"
#include "dbx/file_window.h"
#include "header/summary.h"
#include "platform/read.h"
#include "platform/view.h"

// Working-directory and folder calls with the engine's results (-1 on failure).
std::optional<std::string> sys_getcwd();
int sys_chdir(const char* path);
int sys_mkdir(const char* parent, const char* name);

// The path of `name` inside `folder`.
std::string in_folder(const char* folder, const std::string& name);

// The output folder of a save run: the target without a final ".dbx" (any case).
std::string output_folder(const std::string& target);

// The first word of a freed block's data area is not message text: the `length` bytes of
// the block's text at `text` get it marked.
inline void mark_freed_word(char* text, size_t length) {
    for (size_t i = 0; i < 4 && i < length; ++i) text[i] = '-';
}

// One chain read from the store, summarised, and named.
struct message_read {
    std::optional<std::string> text;  // the message bytes; none when the chain gave none
    int64_t date = 0;
    std::string name;
    std::optional<unreadable_range> unreadable;  // the first bytes of it that could not be read
    bool cut_short = false;  // its last bytes lay past the end of the file: read as zero bytes
    bool out_of_memory = false;
    hdr_raw_fields raw;  // Subject, From and To as written, for the .msg writer
    std::optional<std::string> subject, from, to;  // decoded, UTF-8
};
// The store's file read ahead for the headers of a list-only run. A list's chains come in
// file order and their headers mostly lie one after another, so a thread of its own reads
// the file chunk after chunk from the first head on, on another core, and the listing
// only copies out what it needs. Bytes behind the stream, far ahead of it, past the end of
// the file or in a chunk with unreadable bytes are not served: the caller reads them.
class read_window {
public:
    read_window();
    ~read_window();
    read_window(const read_window&) = delete;
    read_window& operator=(const read_window&) = delete;

    // The chain about to be read. The stream starts at its head, and starts over there
    // when the head lies behind the stream or far ahead of it.
    void expect(const dbx_t* store, int list, int chain);

    // Copies [start, start + length) into `into` from the stream; false when it cannot.
    bool copy(uint64_t start, char* into, size_t length);

private:
    bool next_chunk();
    void stop();

    std::unique_ptr<chunk_reader> stream_;
    chunk_reader::chunk chunk_;
    uint64_t chunk_start_ = 0;  // the file offset of the chunk's first byte
    std::optional<bool> streaming_;  // decided at the list's first chain
};

// Whether any block of the chain, or the block its last one names, lies in bytes of the
// store that could not be read.
bool _chain_touches_unreadable(const dbx_t* store, int list, const dbx_block_t* head);
// Reads chain `chain` of list `list`; a list-only run (mode 0) reads no more than the
// header unless `whole`; a window, when given, serves the reads of such a run.
message_read _read_message(main_view* dialog, dbx_t* store, int list, int chain, int mode, bool whole = false,
                           read_window* window = nullptr);

// The file name of a message: sender, receiver, subject, the head block's offset and the
// extension of the run mode, fitted to what file systems accept.
std::string message_file_name(const std::optional<std::string>& from,
                              const std::optional<std::string>& to,
                              const std::optional<std::string>& subject, uint32_t offset, int mode);

// Writes the message under a temporary name in `folder`, dates it, and gives it its name
// when it is complete: 1 when saved, 2 when the message failed. The store's own file is
// never replaced. A failed .msg conversion throws.
int _save_message(const char* folder, const message_read& message, int mode,
                  const std::optional<platform::file_identity>& store);

// The name a message file has while it is being written: short, and this process's own
// (its id and a number it takes once), so runs side by side never touch each other's.
std::string take_temporary_name(const std::string& name);
// The name the next message saved as `name` takes while it is written.
std::string next_temporary_name(const std::string& name);

void _set_message_time(const char* folder, const std::string& name, int64_t date);

struct recover_totals {
    int errors = 0;
    bool abandoned = false;
    std::vector<unreadable_range> unreadable;  // reported so far, scan's and messages'
};
class header_capture;
// Drives both lists; `totals` carries what was reported before (the scan's unreadable
// ranges), so that nothing is reported twice. A list-only run takes the rows the scan
// gathered from `rows`, when given, and reads the headers of the others.
recover_totals _recover(main_view* dialog, dbx_t* store, const char* folder, int mode,
                        recover_totals totals = {}, header_capture* rows = nullptr);

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

// True when `folder` is a link (the run writes nothing there), and the words that say so.
bool is_link(const std::string& folder);
void say_link(const std::string& folder);

struct run_outcome;
// The closing box of a save run.
void show_completion(main_view* dialog, const run_outcome& outcome);

// Hands the record of chain `chain` to the chain observer, when there is one: `folder` is
// the list folder of a save run (null in a list run), `usable` false when the message
// could not be read, `saved` the result of saving it (1 saved, 2 failed, 0 not saved).
void _note_chain(const dbx_t* store, int list, int chain, const message_read& message, const std::string* folder,
                 bool usable, int saved);
