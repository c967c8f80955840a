#pragma once
// The engine entry and the routines of one extraction run.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "dbx/dbx.h"
#include "dbx/integrity.h"

struct hdr_raw_fields;
struct dbx_index_entry;

// 0 list only, 1 save as .eml, 2 save as .msg; taken once per run.
extern std::atomic<int> save_mode;

// How many chains of a run were found short of whole, by kind (a chain may count in more
// than one).
struct integrity_counts {
    int start_unattested = 0;
    int unattested = 0;
    int cut_short = 0;
    int crosses_stores = 0;
    void add(const chain_integrity& integrity) {
        start_unattested += integrity.start_unattested;
        unattested += !integrity.unattested.empty();
        cut_short += integrity.cut_short;
        crosses_stores += !integrity.crossed_stores.empty();
    }
    void add(const integrity_counts& other) {
        start_unattested += other.start_unattested;
        unattested += other.unattested;
        cut_short += other.cut_short;
        crosses_stores += other.crosses_stores;
    }
};

// What became of one run, for front ends that report it.
struct run_outcome {
    bool store_opened = false;
    bool folder_entered = false;  // save runs: the output folder was made and entered
    int errors = 0;               // messages and fragments that could not be saved (or read)
    bool abandoned = false;       // the run was abandoned at a checkpoint
    bool output_failed = false;   // collection runs: the collection could not be written
    std::vector<unreadable_range> unreadable;  // bytes of the store that could not be read
    bool damaged = false;        // an image found damaged when opened (its faults were said)
    integrity_counts integrity;  // chains found short of whole
    int missing = 0;  // messages the store's index names whose blocks the scan did not find
};

// A store as a run scanned it, kept for later runs of the same store: they take its chains
// instead of scanning it again, and open its file anew (its file is closed between runs).
using scanned_store = std::shared_ptr<dbx_t>;

// Runs one extraction: `target` is the output folder, the path separator and the store's
// file name (null for a list-only run); `store_path` the store. UTF-8 paths.
// Returns 0 when a save run entered its output folder, otherwise -1. A failed .msg
// conversion ends the run by throwing dispatch::dispatch_error. The store is opened by
// `open` when given, otherwise as a plain file. Given `scan`: when it holds a store of
// `store_path`, the run takes that store's chains; when it holds none, the run leaves there
// the store it opened and scanned.
int recover_store(const char* target, const char* store_path, run_outcome* outcome = nullptr,
                  const platform::source_opener* open = nullptr, scanned_store* scan = nullptr);

// One chain of a store: its list (0 messages, 1 deleted fragments) and its number there.
struct chain_id {
    int list = 0;
    int chain = 0;
    auto operator<=>(const chain_id&) const = default;
};

// A save run of the chosen chains alone: the same folders, names, times and rules as
// recover_store's, the other chains neither read nor listed. `target` and `scan` as
// recover_store's.
int recover_chosen(const char* target, const char* store_path, std::vector<chain_id> chosen,
                   run_outcome* outcome = nullptr, scanned_store* scan = nullptr);

// What became of one chain, for a record of the run.
struct chain_record {
    std::string store_path;                // as given
    std::optional<uint64_t> carved_start;  // carve runs: where the store starts in the image
    int list = 0;                          // 0 messages, 1 deleted fragments
    int chain = 0;                         // the chain's number in its list
    uint32_t first_offset = 0;
    int64_t blocks = 0;
    const std::string* bytes = nullptr;  // the message bytes, exactly as an .eml holds them
    std::string from, to, subject;       // decoded, UTF-8
    std::string date_written;            // the Date field as written
    std::optional<int64_t> date;         // the date, seconds since 1970 UTC, when it parses
    std::string file;                    // the file written (absolute), empty when none
    bool saved = false;
    bool failed = false;
    std::string reason;  // why it failed
    bool cut_short =
        false;  // the chain runs past the end of the store: its last bytes are zero bytes
    const hdr_raw_fields* raw = nullptr;         // Subject, From and To as written, when read whole
    const chain_integrity* integrity = nullptr;  // how whole the chain is, its block positions
    // A store read through a file system of an image: the file (path, metadata address,
    // sizes, times, deleted or not).
    const platform::found_file* found_as = nullptr;
    // What the store's index says: whether the store has one that could be read (then a
    // chain it does not name is a finding), and its entry for the chain when it names it.
    bool store_indexed = false;
    const dbx_index_entry* index_entry = nullptr;
    // A message the index names whose blocks the scan did not find: no bytes, no file; its
    // first block's offset, the index's subject and sender in `subject` and `from`.
    bool missing = false;
    // The folders from the top down to the store, as its folder's Folders.dbx names them
    // (UTF-8, '/' between names); empty when none names it.
    std::string folder_path;
};
// Called for every chain of a run once it is listed or saved; none when empty. When set,
// list runs read every message whole.
extern std::function<void(const chain_record&)> chain_observer;

// Carves the stores out of a disk image and runs each as a store run: a list run when
// `folder` is null, otherwise a save run into `folder`/<image name>/<start of the store as
// 12 hexadecimal digits>. With `file_systems`, the `.dbx` files of the image's file systems
// are read first, each saved into `folder`/<image name>/<partition>/<its path's folders>/
// <its name without ".dbx">, and only the rest is carved. `store_done` is called after each
// store with what the list says of it: "at <start>", or its partition and path, with
// " (deleted file)" for a deleted one. Returns 0 when a save run entered its output
// folders, otherwise -1. `image_folder` names the image's folder in `folder` (null: the
// image's file name without ".dbx"). The image is opened by `open` when given.
int carve_image(const char* folder, const char* image_path,
                const std::function<void(const std::string& store)>& store_done,
                run_outcome* outcome = nullptr, const char* image_folder = nullptr,
                const platform::source_opener* open = nullptr, bool file_systems = false);

// The folder of a carved store: its start as 12 upper-case hexadecimal digits, after a
// minus sign for a store that starts before the image.
std::string carved_folder_name(uint64_t start);

// The name of a store's output folder, made from its file name: without a final ".dbx"
// (any case) and without trailing points and blanks, which Windows would drop; "_" when
// nothing is left (a name such as "...dbx", which would otherwise climb out).
std::string store_folder_name(const std::string& store_file_name);

// "cannot read bytes A to B: <the system's text>", A and B the first and last byte.
std::string unreadable_text(const unreadable_range& range);
