// The engine entry and the extraction driver.

#include <cstdio>
#include <memory>
#include <new>

#include "engine/engine.h"
#include "engine/internal.h"
#include "platform/fs.h"
#include "platform/text.h"

std::atomic<int> save_mode{0};

namespace {

const char* const list_names[2] = {"messages", "deleted message fragments"};

const char* or_null(const char* text) { return text ? text : "(null)"; }

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

void print_message_line(int j, int chain_count, bool saved, const std::string& name) {
    std::printf(saved ? "%5.1f%%     OK: %s\n" : "%5.1f%%  ERROR: %s\n",
                (j + 1) * 100.0 / chain_count, name.c_str());
    std::fflush(stdout);
}

// Reads, saves and stamps chain j of list i; false when the message failed.
bool handle_chain(main_view* dialog, dbx_t* store, int i, int j, const std::string* list_folder,
                  int mode) {
    message_read message = _read_message(dialog, store, i, j, mode);
    if (!list_folder) return true;  // list only: reading filled the row
    int chain_count = store->lists[i].chain_count;
    if (!message.text) {
        print_message_line(j, chain_count, false, message.name);
        return false;
    }
    int result =
        _save_message(list_folder->c_str(), *message.text, message.name, mode, message.raw);
    if (result == 1) _set_message_time(list_folder->c_str(), message.name, message.date);
    print_message_line(j, chain_count, result == 1, message.name);
    return result == 1;
}

// Saves the run's results and the closing box of a save run.
void show_completion(main_view* dialog, const run_outcome& outcome) {
    if (!outcome.store_opened || !outcome.folder_entered) {
        dialog->message_box("Saving failed: nothing was saved.", "Tavrin Morvale", 0x1030);
    } else if (outcome.errors > 0) {
        char text[64];
        std::snprintf(text, sizeof text, "Saving completed with %d errors", outcome.errors);
        dialog->message_box(text, "Tavrin Morvale", 0x1030);
    } else {
        dialog->message_box("Saving completed successfully         ", "Tavrin Morvale", 0x1020);
    }
}

struct store_closer {
    void operator()(dbx_t* store) const { dbx_close(store); }
};

// Changes back to the directory recorded at the start of the run, however it ends.
struct directory_restorer {
    const std::optional<std::string>& directory;
    ~directory_restorer() {
        if (directory) sys_chdir(directory->c_str());
    }
};

}  // namespace

recover_totals _recover(main_view* dialog, dbx_t* store, const char* folder, int mode) {
    recover_totals totals;
    for (int i = 0; i < 2; ++i) {
        const dbx_block_list_t& list = store->lists[i];
        int saved = 0, errors = 0;
        if (list.chain_count <= 0) continue;
        std::optional<std::string> list_folder;
        if (folder) list_folder = std::string(folder) + (i == 1 ? "/deleted" : "");
        std::printf("------ Recovering %d %s from %s to %s/%s ... \n", list.chain_count,
                    list_names[i], store->file_name.c_str(), or_null(folder),
                    or_null(list_folder ? list_folder->c_str() : nullptr));
        if (i == 1 && folder && sys_mkdir(folder, "deleted") != 0) {
            platform::report_error("_recover (sys_mkdir)");
            totals.errors += list.chain_count;  // no fragment could be saved
            return totals;
        }
        for (int j = 0; j < list.chain_count; ++j) {
            if (!run_checkpoint()) {
                totals.abandoned = true;
                return totals;
            }
            dialog->set_progress(j);
            bool ok = handle_chain(dialog, store, i, j, list_folder ? &*list_folder : nullptr, mode);
            if (list_folder) ++(ok ? saved : errors);
        }
        totals.errors += errors;
        std::printf("------ %d %s recovered, %d errors\n", saved, list_names[i], errors);
        std::fflush(stdout);
        dialog->set_progress(0);
    }
    return totals;
}

int recover_store(const char* target, const char* store_path, run_outcome* outcome) {
    int mode = target ? save_mode.load() : 0;
    run_outcome result;
    silent_view silent;
    main_view* dialog = main_dialog ? main_dialog : &silent;
    int status = -1;
    auto directory = sys_getcwd();
    if (directory) {
        directory_restorer restore{directory};
        std::unique_ptr<dbx_t, store_closer> store(dbx_open(store_path));
        sys_chdir(directory->c_str());
        result.store_opened = store != nullptr;
        if (!store) {
            result.abandoned = !run_checkpoint();
        } else if (target) {
            std::string folder = output_folder(target);
            sys_mkdir(folder.c_str(), folder.c_str());
            if (sys_chdir(folder.c_str()) != 0) {
                std::fprintf(stderr, "error: can't chdir to %s\n", folder.c_str());
            } else {
                result.folder_entered = true;
                auto totals = _recover(dialog, store.get(), folder.c_str(), mode);
                result.errors = totals.errors;
                result.abandoned = totals.abandoned;
                status = 0;
            }
        } else {
            result.abandoned = _recover(dialog, store.get(), nullptr, mode).abandoned;
        }
    }
    if (target && !result.abandoned) show_completion(dialog, result);
    if (outcome) *outcome = result;
    return status;
}

std::string output_folder(const std::string& target) {
    size_t n = target.size();
    bool dbx = n >= 4 && platform::equal_ignoring_case(std::string_view(target).substr(n - 4), ".dbx");
    return dbx ? target.substr(0, n - 4) : target;
}
