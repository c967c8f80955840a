// The dialog's list, a folder of message files, and the way into a collection, as sinks
// of a run.

#include "engine/sinks.h"

#include <cerrno>
#include <cstdio>
#include <new>

#include "engine/header_capture.h"
#include "engine/read_message.h"
#include "engine/run.h"
#include "engine/save_message.h"
#include "engine/sys.h"
#include "platform/fs.h"
#include "platform/text.h"

namespace {

void say_recovering(const dbx_t& store, int list, int handled, const std::string& place) {
    std::printf("------ Recovering %d %s from %s to %s ... \n", handled, _list_name(list),
                platform::printable(store.file_name).c_str(), place.c_str());
}

void print_message_line(const chain_taken& chain, bool saved, const std::string& name) {
    std::printf(saved ? "%5.1f%%     OK: %s\n" : "%5.1f%%  ERROR: %s\n",
                (chain.chain + 1) * 100.0 / chain.store.lists[chain.list].chain_count,
                name.c_str());
    std::fflush(stdout);
}

// The name a message is known by in the lines of a collection run: its file name without
// the extension, since it gets no file of its own.
std::string collected_name(const std::string& file_name) {
    return file_name.substr(0, file_name.rfind('.'));
}

}  // namespace

// The line has a save run's form, with no folder to name.
bool listing_sink::begin_list(const dbx_t& store, int list, int handled, recover_totals&) {
    say_recovering(store, list, handled, "(null)/(null)");
    return true;
}

chain_kept listing_sink::take(const chain_taken&, recover_totals&) {
    return {};
}

// A row the scan made is shown unless the chain touches bytes it could not read: such a
// chain is read, and reported. The scan made rows only of messages whose text begins with
// a header field.
bool listing_sink::row_at_hand(main_view* dialog, const dbx_t& store, int list,
                               const dbx_block_t* head) {
    return rows_ != nullptr && !_chain_touches_unreadable(&store, list, head) &&
           rows_->show_row(dialog, list, int32_t(head - store.lists[list].blocks.data()));
}

folder_sink::folder_sink(std::string folder, int mode, const dbx_t& store)
    : folder_(std::move(folder)), mode_(mode), store_(store.source->identity()) {}

bool folder_sink::begin_list(const dbx_t& store, int list, int handled, recover_totals&) {
    list_folder_ = folder_ + (list == 1 ? "/deleted" : "");
    say_recovering(store, list, handled,
                   platform::printable(folder_) + "/" + platform::printable(list_folder_));
    return list == 0 || make_own_folder(folder_, "deleted", "_recover (sys_mkdir)");
}

chain_kept folder_sink::take(const chain_taken& chain, recover_totals&) {
    chain_kept kept{2, {}};
    try {
        if (chain.usable)
            kept.result = _save_message(list_folder_.c_str(), chain.message, mode_, store_,
                                        chain.index_entry);
    } catch (const std::bad_alloc&) {  // this message is too large for the memory left
        errno = ENOMEM;
        platform::report_error("_save_message");
    }
    if (chain.record) kept.file = in_folder(list_folder_.c_str(), chain.message.name);
    print_message_line(chain, kept.result == 1, chain.message.name);
    return kept;
}

bool collection_sink::begin_list(const dbx_t& store, int list, int handled,
                                 recover_totals& totals) {
    std::optional<message_collection::folder_id> id = into_.folder(store_folder_, list);
    if (!id) {
        totals.output_failed = true;
        return false;
    }
    id_ = *id;
    place_ = into_.place(id_);
    say_recovering(store, list, handled, platform::printable(place_));
    return true;
}

// A failed write of the collection ends the run.
chain_kept collection_sink::take(const chain_taken& chain, recover_totals& totals) {
    chain_kept kept{2, place_};
    try {
        if (chain.usable && into_.add(id_, *chain.record)) {
            kept.result = 1;
        } else if (chain.usable) {
            totals.output_failed = true;
        }
    } catch (const std::bad_alloc&) {  // this message is too large for the memory left
        errno = ENOMEM;
        platform::report_error("_save_message");
    }
    print_message_line(chain, kept.result == 1, collected_name(chain.message.name));
    return kept;
}
