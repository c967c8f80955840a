// The engine entry and the extraction driver.

#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <memory>

#include "engine/collection.h"
#include "engine/engine.h"
#include "engine/header_capture.h"
#include "engine/message_name.h"
#include "engine/run.h"
#include "engine/sinks.h"
#include "engine/store_state.h"
#include "engine/store_tree.h"
#include "engine/sys.h"
#include "platform/fs.h"
#include "platform/text.h"

std::atomic<int> save_mode{0};

namespace {

const char* const list_names[2] = {"messages", "deleted message fragments"};

bool overlaps(const unreadable_range& a, const unreadable_range& b) {
    return a.start < b.end && b.start < a.end;
}

// Why a message that was read cannot be saved; false when nothing stands in its way.
bool message_failed(main_view* dialog, recover_totals& totals, const dbx_t* store,
                    const dbx_block_t* head, const message_read& message) {
    if (message.out_of_memory) {
        std::fprintf(stderr, "_read_message: the message at %08" PRIX32 ": %s\n", head->offset,
                     std::strerror(ENOMEM));
    } else if (message.unreadable) {
        report_unreadable(dialog, totals, store->file_name, *message.unreadable);
        std::fprintf(
            stderr, "_read_message: the message at %08" PRIX32 " lies partly in unreadable bytes\n",
            head->offset);
    } else {
        return !message.text;
    }
    std::fflush(stderr);
    return true;
}

// Reads chain j of list i and hands it to the run's sink: 1 saved, 0 listed, 2 when the
// message failed.
int handle_chain(const recover_run& run, dbx_t* store, int i, int j, recover_totals& totals,
                 read_window* window) {
    const dbx_block_list_t& list = store->lists[i];
    const dbx_block_t* head = list.chains[j];
    if (run.sink.row_at_hand(run.dialog, *store, i, head)) {
        chain_start begins_with_field;
        begins_with_field.begins_with_field = true;
        totals.integrity.add(dbx_chain_integrity(store, i, head, begins_with_field));
        return 0;
    }
    message_read message =
        _read_message(run.dialog, store, i, j, run.mode, bool(chain_observer), window);
    chain_integrity integrity = dbx_chain_integrity(store, i, head, _chain_start(message));
    totals.integrity.add(integrity);
    bool unusable = message_failed(run.dialog, totals, store, head, message);
    const dbx_index_entry* entry = run.state ? run.state->entry_of(i, j) : nullptr;
    std::optional<chain_record> record;
    if (chain_observer || (run.sink.wants_records() && !unusable)) {
        record = _chain_record(store, i, j, message, integrity);
        record->store_indexed = run.state && run.state->indexed();
        record->index_entry = entry;
        if (run.folder_path) record->folder_path = *run.folder_path;
    }
    chain_kept kept = run.sink.take(
        {*store, i, j, message, !unusable, record ? &*record : nullptr, entry}, totals);
    if (record) _note_chain(*record, message, !unusable, kept.result, std::move(kept.file));
    if (kept.result == 0 && unusable) return 2;  // a list-only run could not read it
    return kept.result;
}

// What the store's index and folder tree say of chain j of list i, to the dialog.
void say_state(const recover_run& run, int i, int j) {
    bool indexed = run.state && run.state->indexed();
    bool in_tree = run.folder_path && !run.folder_path->empty();
    if (!indexed && !in_tree) return;
    const dbx_index_entry* entry = indexed ? run.state->entry_of(i, j) : nullptr;
    run.dialog->chain_state(entry != nullptr, entry ? entry->flags : 0,
                            entry ? seconds_of_filetime(entry->received) : std::nullopt,
                            in_tree ? *run.folder_path : std::string());
}

// A file in which the scan found no block at all is most likely no store.
bool no_block_found(const dbx_t& store) {
    return store.lists[0].block_count == 0 && store.lists[1].block_count == 0;
}

void say_nothing_found(main_view* dialog, const dbx_t& store) {
    dialog->message_box("No messages were found in " + store.file_name +
                            ". It may not be an Outlook Express store.",
                        "Tavrin Morvale", 0x1030);
}

// Changes back to the directory recorded at the start of the run, however it ends.
struct directory_restorer {
    const std::optional<std::string>& directory;
    ~directory_restorer() {
        if (directory) sys_chdir(directory->c_str());
    }
};

}  // namespace

// Says once, on standard error and to the dialog, that a range of the store could not be
// read.
void report_unreadable(main_view* dialog, recover_totals& totals, const std::string& file_name,
                       const unreadable_range& range) {
    for (const unreadable_range& known : totals.unreadable) {
        if (overlaps(known, range)) return;
    }
    totals.unreadable.push_back(range);
    std::string what = unreadable_text(range);
    std::fprintf(stderr, "morvale: %s: %s\n", platform::printable(file_name).c_str(), what.c_str());
    std::fflush(stderr);
    dialog->unreadable_bytes(file_name, what);
}

// Saves the run's results and the closing box of a save run.
void show_completion(main_view* dialog, const run_outcome& outcome) {
    if (outcome.output_failed) {
        dialog->message_box("Saving failed: the file could not be written.", "Tavrin Morvale",
                            0x1030);
    } else if (!outcome.store_opened || !outcome.folder_entered) {
        dialog->message_box("Saving failed: nothing was saved.", "Tavrin Morvale", 0x1030);
    } else if (outcome.errors > 0) {
        char text[64];
        std::snprintf(text, sizeof text, "Saving completed with %d errors", outcome.errors);
        dialog->message_box(text, "Tavrin Morvale", 0x1030);
    } else if (!outcome.unreadable.empty() || outcome.damaged) {
        dialog->message_box("Saving completed, but parts of the store could not be read",
                            "Tavrin Morvale", 0x1030);
    } else {
        dialog->message_box("Saving completed successfully         ", "Tavrin Morvale", 0x1020);
    }
}

// What the scan could not read.
void report_scan_limits(main_view* dialog, recover_totals& totals, const dbx_t* store) {
    for (const unreadable_range& range : store->unreadable)
        report_unreadable(dialog, totals, store->file_name, range);
}

store_state _read_store_state(const dbx_t& store) {
    store_state state(store, dbx_read_store_index(store));
    if (!state.note().empty()) {
        std::fprintf(stderr, "morvale: %s: %s\n", platform::printable(store.file_name).c_str(),
                     platform::printable(state.note()).c_str());
        std::fflush(stderr);
    }
    return state;
}

namespace {

// How many chains of list `list` a run handles: all, or those chosen.
int chains_handled(const dbx_block_list_t& list, int list_number,
                   const std::vector<chain_id>* chosen) {
    if (chosen == nullptr) return list.chain_count;
    auto first = std::lower_bound(chosen->begin(), chosen->end(), chain_id{list_number, 0});
    auto end = std::lower_bound(chosen->begin(), chosen->end(), chain_id{list_number + 1, 0});
    int count = 0;
    for (auto it = first; it != end; ++it) count += it->chain >= 0 && it->chain < list.chain_count;
    return count;
}

}  // namespace

const char* _list_name(int list) {
    return list_names[list];
}

recover_totals _recover(const recover_run& run, dbx_t* store, recover_totals totals) {
    const std::vector<chain_id>* chosen = run.chosen;
    run.dialog->chains_to_handle(chains_handled(store->lists[0], 0, chosen) +
                                 chains_handled(store->lists[1], 1, chosen));
    for (int i = 0; i < 2; ++i) {
        const dbx_block_list_t& list = store->lists[i];
        int saved = 0, errors = 0;
        int handled = chains_handled(list, i, chosen);
        if (handled <= 0) continue;
        if (!run.sink.begin_list(*store, i, handled, totals)) {
            totals.errors += handled;  // no message of the list could go there
            return totals;
        }
        // The list's chains come in file order. A store with unreadable bytes is read a
        // message at a time, never across bytes it does not need; so are the few headers
        // the scan could not gather.
        read_window stream;
        read_window* window =
            store->unreadable.empty() && run.sink.reads_ahead() ? &stream : nullptr;
        for (int j = 0; j < list.chain_count; ++j) {
            if (chosen && !std::binary_search(chosen->begin(), chosen->end(), chain_id{i, j}))
                continue;
            if (!run_checkpoint()) {
                totals.abandoned = true;
                return totals;
            }
            run.dialog->set_progress(int(int64_t{j} * 100 / list.chain_count));  // the share done
            run.dialog->chain_begins(i, j);
            say_state(run, i, j);
            int result = handle_chain(run, store, i, j, totals, window);
            if (result == 1) ++saved;
            if (result == 2) ++errors;
            if (totals.output_failed) break;
        }
        totals.errors += errors;
        if (totals.output_failed) return totals;  // the run ends with the collection
        std::printf("------ %d %s recovered, %d errors\n", saved, list_names[i], errors);
        std::fflush(stdout);
        run.dialog->set_progress(0);
    }
    if (!chosen) _note_missing(run, store, totals);
    return totals;
}

int run_in_frame(bool saving, run_steps& steps, run_outcome* outcome) {
    run_outcome result;
    silent_view silent;
    main_view* dialog = main_dialog ? main_dialog : &silent;
    bool nothing_found = false;  // said already, instead of a folder and a closing box
    auto directory = sys_getcwd();
    if (directory) {
        directory_restorer restore{directory};
        bool opened = steps.open();
        sys_chdir(directory->c_str());
        result.store_opened = opened;
        recover_totals totals;
        if (!opened) {
            result.abandoned = !run_checkpoint();
            if (!result.abandoned) steps.say_not_opened();
        } else {
            steps.report_unreadable(dialog, totals);
            nothing_found = steps.nothing_found(dialog);
            if (!nothing_found) steps.run(dialog, totals, result);
        }
        steps.close();
        result.errors = totals.errors;
        result.abandoned = result.abandoned || totals.abandoned;
        result.output_failed = totals.output_failed;
        result.unreadable = std::move(totals.unreadable);
        result.damaged = totals.damaged;
        result.integrity = totals.integrity;
        result.missing = totals.missing;
    }
    if (saving && !nothing_found && !result.abandoned) show_completion(dialog, result);
    if (outcome) *outcome = result;
    return saving && result.folder_entered ? 0 : -1;
}

namespace {

// A run over one store file.
class store_run : public run_steps {
  public:
    // A collection run (`into` given) has no target and reads as an .eml save run reads; a
    // save of chosen chains (`chosen` given, sorted) handles only those.
    // With `scan`, a store it holds is taken instead of scanning again, and the store this
    // run scans is left there.
    store_run(const char* target, const char* store_path, message_sink* into = nullptr,
              const std::vector<chain_id>* chosen = nullptr,
              const platform::source_opener* open = nullptr, scanned_store* scan = nullptr)
        : target_(target),
          store_path_(store_path),
          into_(into),
          mode_(into     ? 1
                : target ? save_mode.load()
                         : 0),
          chosen_(chosen),
          open_(open),
          scan_(scan) {}

    // A run that only lists the messages has the scan gather their rows, unless each chain
    // is to be looked at whole; chains that touch unreadable bytes are each to be reported,
    // so then their headers are read.
    bool open() override {
        if (scan_ && *scan_) {
            if (!dbx_reopen_file(scan_->get())) return false;
            store_ = *scan_;
            read_index();
            return true;
        }
        if (target_ == nullptr && into_ == nullptr && !chain_observer) rows_.emplace();
        store_.reset(dbx_open(store_path_, rows_ ? &*rows_ : nullptr, open_), dbx_close);
        // The rows the scan made serve every chain clear of unreadable bytes; the others are
        // read, and reported.
        if (rows_ && store_) {
            rows_->scan_ended(*store_);
        } else {
            rows_.reset();
        }
        if (store_) read_index();
        return store_ != nullptr;
    }

    void report_unreadable(main_view* dialog, recover_totals& totals) override {
        report_scan_limits(dialog, totals, store_.get());
    }

    bool nothing_found(main_view* dialog) override {
        if (!no_block_found(*store_)) return false;
        say_nothing_found(dialog, *store_);
        return true;
    }

    void run(main_view* dialog, recover_totals& totals, run_outcome& result) override {
        if (into_) {
            result.folder_entered = true;
            totals = _recover({dialog, *into_, mode_, chosen_, &state_, &folder_path_},
                              store_.get(), std::move(totals));
            return;
        }
        if (!target_) {
            listing_sink list(rows_ ? &*rows_ : nullptr);
            totals = _recover({dialog, list, mode_, nullptr, &state_, &folder_path_}, store_.get(),
                              std::move(totals));
            return;
        }
        std::string folder = output_folder(target_);
        sys_mkdir(folder.c_str(), folder.c_str());
        if (is_link(folder)) {
            say_link(folder);
        } else if (sys_chdir(folder.c_str()) != 0) {
            std::fprintf(stderr, "error: can't chdir to %s\n", platform::printable(folder).c_str());
        } else {
            result.folder_entered = true;
            folder_sink files(folder, mode_, *store_);
            totals = _recover({dialog, files, mode_, chosen_, &state_, &folder_path_}, store_.get(),
                              std::move(totals));
        }
    }

    // A store kept for later runs keeps its chains, not its file.
    void close() override {
        if (scan_ && store_) {
            dbx_close_file(store_.get());
            if (!*scan_) *scan_ = store_;
        }
        state_ = {};
        store_.reset();
        rows_.reset();
    }

  private:
    // The store's own index, joined to the chains the scan found (its note said once), and
    // the folders Folders.dbx beside it names it by.
    void read_index() {
        state_ = _read_store_state(*store_);
        folder_path_.clear();
        if (auto tree = folder_tree_beside(store_path_))
            folder_path_ = joined_names(store_folder_path(*tree, store_path_));
    }

    const char* target_;
    const char* store_path_;
    message_sink* into_;
    int mode_;
    const std::vector<chain_id>* chosen_;  // null: every chain
    const platform::source_opener* open_;  // null: the store is a plain file
    scanned_store* scan_;                  // null: the store is scanned and let go
    std::optional<header_capture> rows_;
    scanned_store store_;
    store_state state_;
    std::string folder_path_;
};

}  // namespace

int recover_store(const char* target, const char* store_path, run_outcome* outcome,
                  const platform::source_opener* open, scanned_store* scan) {
    store_run steps(target, store_path, nullptr, nullptr, open, scan);
    return run_in_frame(target != nullptr, steps, outcome);
}

int collect_store(message_collection& into, const std::vector<std::string>& store_folder,
                  const char* store_path, run_outcome* outcome, const std::vector<chain_id>* chosen,
                  const platform::source_opener* open, scanned_store* scan) {
    std::vector<chain_id> in_order;
    if (chosen) {
        in_order = *chosen;
        std::sort(in_order.begin(), in_order.end());
    }
    collection_sink sink(into, store_folder);
    store_run steps(nullptr, store_path, &sink, chosen ? &in_order : nullptr, open, scan);
    return run_in_frame(true, steps, outcome);
}

int recover_chosen(const char* target, const char* store_path, std::vector<chain_id> chosen,
                   run_outcome* outcome, scanned_store* scan) {
    std::sort(chosen.begin(), chosen.end());
    store_run steps(target, store_path, nullptr, &chosen, nullptr, scan);
    return run_in_frame(target != nullptr, steps, outcome);
}

std::string store_folder_name(const std::string& store_file_name) {
    size_t n = store_file_name.size();
    bool dbx = n >= 4 && platform::equal_ignoring_case(
                             std::string_view(store_file_name).substr(n - 4), ".dbx");
    return fitted_folder_name(dbx ? store_file_name.substr(0, n - 4) : store_file_name);
}

std::string output_folder(const std::string& target) {
    size_t start = platform::file_name_start(target);
    return target.substr(0, start) + store_folder_name(target.substr(start));
}

std::string unreadable_text(const unreadable_range& range) {
    char text[96];
    std::snprintf(text, sizeof text, "cannot read bytes %" PRIu64 " to %" PRIu64 ": ", range.start,
                  range.end - 1);
    return text + std::string(platform::read_error_text(range.error));
}
