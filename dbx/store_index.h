#pragma once
// The store's own index: the file header's message tree and the message info objects it
// points at, read as far as they are sound. The scan finds the messages; the index adds
// what only it holds (flags, times, the account) and names messages the scan may lack.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "dbx/dbx.h"
#include "platform/memory.h"

// One message info object of the store's message tree: what the runs take for every chain it
// names. The rest of what it says (its texts but the account, when it was sent and saved) is
// read again with dbx_read_index_details for the few messages that need it (those the blocks
// lack): an index of many messages is then read without a copy of each.
struct dbx_index_entry {
    // Offset of the message's first block: the join key. 0 when the info object names no
    // message (a header whose body was never downloaded).
    uint32_t first_block = 0;
    uint32_t index_number = 0;  // the message's index number in the store
    uint32_t flags = 0;         // the message info's flags word as stored
    int priority = 0;           // as stored (1 high, 3 normal, 5 low); 0 when none
    uint64_t received = 0;      // FILETIME; 0 when none
    // The account's name, bytes as stored, kept by the index the entry came from (and its
    // copies) for as long as one of them lives.
    std::string_view account;
    uint32_t info_offset = 0;  // where the message info object lies in the store
};

// The rest of what an entry's message info says.
struct dbx_index_details {
    uint64_t sent = 0;   // FILETIME; 0 when the info object has none
    uint64_t saved = 0;  // FILETIME the message was saved in this folder; 0 when none
    std::string subject, sender_name, sender_address, message_id, account;  // bytes as stored
};

// Named bits of dbx_index_entry::flags.
constexpr uint32_t dbx_flag_downloaded = 0x1;        // the body was downloaded
constexpr uint32_t dbx_flag_draft = 0x8;             // being written (a draft)
constexpr uint32_t dbx_flag_flagged = 0x20;          // marked with a flag
constexpr uint32_t dbx_flag_read = 0x80;             // read
constexpr uint32_t dbx_flag_download_later = 0x100;  // marked for download
constexpr uint32_t dbx_flag_news = 0x800;            // a news posting
constexpr uint32_t dbx_flag_signed = 0x1000;         // digitally signed
constexpr uint32_t dbx_flag_attachment = 0x4000;     // has an attachment
constexpr uint32_t dbx_flag_replied = 0x80000;       // answered
constexpr uint32_t dbx_flag_forwarded = 0x100000;    // forwarded
constexpr uint32_t dbx_flag_thread_watched = 0x400000;
constexpr uint32_t dbx_flag_thread_ignored = 0x800000;

// What the index says. Entries are left out when the tree points at no message info, or
// at one already named, or when the message info names a block the scan found freed or a
// message already named; a first block the scan did not find at all is kept (the message
// is missing from the blocks). No message store header: not present, and no note.
struct dbx_store_index {
    bool present = false;       // the header names a message tree that could be read
    uint32_t stated_count = 0;  // the item count the file header states
    // In tree order; in large pages, one fault each, once there are many.
    std::vector<dbx_index_entry, platform::page_allocator<dbx_index_entry>> entries;
    std::string note;  // one note when the index is unsound in part; empty when sound
    std::shared_ptr<const void> accounts;  // the bytes the entries' accounts view
};

// Reads the index of the store `store` (already scanned) from its source, which must be open
// (not between dbx_close_file and dbx_reopen_file); never throws, never fails the run: what
// is unsound is left out and said in `note`.
dbx_store_index dbx_read_store_index(const dbx_t& store);

// The rest of what each of `entries` says, in their order, read again (through one window)
// from the store `store` they came from, whose source must be open; all empty for an entry
// whose message info can no longer be read there.
std::vector<dbx_index_details> dbx_read_index_details(
    const dbx_t& store, const std::vector<const dbx_index_entry*>& entries);
