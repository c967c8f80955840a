// The record of one chain handed to the run's observer: where it lies, what it holds,
// and what became of it.

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "engine/engine.h"
#include "engine/run.h"
#include "engine/store_state.h"
#include "engine/sys.h"
#include "header/decode.h"
#include "header/fields.h"
#include "header/summary.h"
#include "platform/text.h"

std::function<void(const chain_record&)> chain_observer;

namespace {

std::string why_failed(const message_read& message, bool written) {
    if (message.out_of_memory) return std::strerror(ENOMEM);
    if (message.unreadable) return unreadable_text(*message.unreadable);
    if (!message.text) return "the chain gave no message bytes";
    if (!written) return "the file could not be written";
    return {};
}

}  // namespace

chain_record _chain_record(const dbx_t* store, int list, int chain, const message_read& message,
                           const chain_integrity& integrity) {
    const dbx_block_t* head = store->lists[list].chains[chain];
    chain_record record;
    record.store_path = store->file_name;
    if (store->carved) record.carved_start = store->base;
    if (store->found_as) record.found_as = &*store->found_as;
    record.list = list;
    record.chain = chain;
    record.first_offset = head->offset;
    record.blocks = int64_t(integrity.block_positions.size());
    static const std::string none;
    record.bytes = message.text ? &*message.text : &none;
    record.from = message.from.value_or("");
    record.to = message.to.value_or("");
    record.subject = message.subject.value_or("");
    if (message.text) {
        // The date the list shows and the file carries: the last Date field's.
        const char* text = message.text->c_str();
        hdr_main_values fields = hdr_main_fields(text, text + std::strlen(text));
        if (fields[hdr_date]) record.date_written = hdr_decode_text(*fields[hdr_date]);
        record.date = hdr_message_date(fields);
    }
    record.cut_short = message.cut_short;
    record.raw = &message.raw;
    record.integrity = &integrity;
    return record;
}

void _note_missing(const recover_run& run, const dbx_t* store, recover_totals& totals) {
    if (!run.state) return;
    std::vector<const dbx_index_entry*> missing = run.state->missing();
    if (missing.empty()) return;
    totals.missing += int(missing.size());
    std::fprintf(stderr,
                 "morvale: %s: the store's index names %zu %s whose blocks were not found\n",
                 platform::printable(store->file_name).c_str(), missing.size(),
                 missing.size() == 1 ? "message" : "messages");
    std::fflush(stderr);
    if (!chain_observer) return;
    static const std::string none;
    std::vector<dbx_index_details> said = dbx_read_index_details(*store, missing);
    for (size_t i = 0; i < missing.size(); i++) {
        const dbx_index_entry* entry = missing[i];
        chain_record record;
        record.store_path = store->file_name;
        if (store->carved) record.carved_start = store->base;
        if (store->found_as) record.found_as = &*store->found_as;
        record.chain = -1;
        record.first_offset = entry->first_block;
        record.bytes = &none;
        const std::string &name = said[i].sender_name, &address = said[i].sender_address;
        record.from = stored_text(address.empty() ? name
                                  : name.empty()  ? address
                                                  : name + " <" + address + ">");
        record.subject = stored_text(said[i].subject);
        record.failed = true;
        record.missing = true;
        record.reason =
            "the store's index names it; no chain the scan found begins at its first block";
        record.store_indexed = true;
        record.index_entry = entry;
        if (run.folder_path) record.folder_path = *run.folder_path;
        chain_observer(record);
    }
}

chain_start _chain_start(const message_read& message) {
    constexpr size_t first_bytes = 32;
    chain_start start;
    if (!message.text) return start;
    const std::string& text = *message.text;
    start.begins_with_field = hdr_begins_with_field(text.data(), text.data() + text.size());
    start.first_bytes = text.substr(0, first_bytes);
    return start;
}

void _note_chain(chain_record& record, const message_read& message, bool usable, int saved,
                 std::string file) {
    if (!chain_observer) return;
    record.saved = saved == 1;
    record.failed = !usable || (saved != 0 && saved != 1);
    if (record.saved) record.file = std::move(file);
    if (record.failed) record.reason = why_failed(message, saved == 1);
    chain_observer(record);
}
