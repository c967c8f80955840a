#pragma once
// Reading one chain of blocks from the store: the message it holds, summarised and named.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "dbx/dbx.h"
#include "dbx/file_window.h"
#include "header/summary.h"
#include "item/item.h"
#include "platform/read.h"
#include "platform/view.h"

// The first word of a freed block's data area is not message text: the `length` bytes of
// the block's text at `text` get it marked.
constexpr size_t freed_word_size = 4;
constexpr char freed_word_mark = '-';
inline void mark_freed_word(char* text, size_t length) {
    for (size_t i = 0; i < freed_word_size && i < length; ++i) text[i] = freed_word_mark;
}

// The text an item is made from (and an mbox file holds): a fragment's from past its first
// freed word when a header field begins right after the word (the store's free list wrote
// the word in front of the header), otherwise all of it. The list and the file names read
// the text as it is.
std::string_view item_text(std::string_view text, bool fragment);

// The item of a message read from the store, made from its item_text, with the raw receivers
// and subject the list read (`raw`, when given); when the item reads past a fragment's freed
// word, with those of the text it reads. It carries what Outlook keeps of every message
// (item::add_identity), with the run's time for an undated one.
item::message _message_item(std::string_view text, bool fragment, const hdr_raw_fields* raw);

// One chain read from the store, summarised, and named.
struct message_read {
    bool fragment = false;            // a deleted fragment's chain
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
    uint64_t chunk_start_ = 0;       // the file offset of the chunk's first byte
    std::optional<bool> streaming_;  // decided at the list's first chain
};

// Whether any block of the chain, or the block its last one names, lies in bytes of the
// store that could not be read.
bool _chain_touches_unreadable(const dbx_t* store, int list, const dbx_block_t* head);
// Reads chain `chain` of list `list`; a list-only run (mode 0) reads no more than the
// header unless `whole`; a window, when given, serves the reads of such a run.
message_read _read_message(main_view* dialog, dbx_t* store, int list, int chain, int mode,
                           bool whole = false, read_window* window = nullptr);
// The text of chain `chain` of list `list` from its start to at least `bytes` bytes on (all
// of it when shorter), for a first look at a long message; its row goes to `row_view`, as
// a list run makes it. Nothing when the bytes cannot be read.
std::optional<std::string> _read_message_start(dbx_t* store, int list, int chain, size_t bytes,
                                               main_view* row_view);
