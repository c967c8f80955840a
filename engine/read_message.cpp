// Reading one chain of blocks from the store and naming the message it holds.

#include "engine/read_message.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <limits>
#include <new>
#include <utility>
#include <vector>

#include "dbx/layout.h"
#include "dbx/scan.h"
#include "engine/list_row.h"
#include "engine/message_name.h"
#include "header/fields.h"
#include "header/summary.h"
#include "item/builder.h"
#include "item/identity.h"
#include "platform/read.h"

namespace {

using dbx_layout::block_size;
using dbx_layout::header_size;

// Blocks read with one call at most: side-by-side blocks are read together up to this
// many bytes, so a message of any size is read through a small buffer of its own.
constexpr size_t batch_bytes = size_t(1) << 20;
constexpr size_t batch_blocks = batch_bytes / block_size;
// Most headers fit in two blocks.
constexpr size_t header_batch_blocks = 2;

// A block of a chain and where it lies in the file.
struct placed_block {
    const dbx_block_t* block;
    uint64_t position;
};

// The chain's blocks, head first.
std::vector<placed_block> chain_blocks(const dbx_t* store, int list, const dbx_block_t* head) {
    const dbx_block_list_t& blocks = store->lists[list];
    int32_t first = static_cast<int32_t>(head - blocks.blocks.data());
    size_t count = 0;
    for (int32_t index = first; index >= 0; index = blocks.blocks[index].next) ++count;
    std::vector<placed_block> chain;
    chain.reserve(count);
    for (int32_t index = first; index >= 0; index = blocks.blocks[index].next) {
        const dbx_block_t* block = &blocks.blocks[index];
        chain.push_back({block, dbx_block_position(store, list, block)});
    }
    return chain;
}

size_t text_bytes(const dbx_block_t* block) {
    return dbx_layout::message_bytes(uint32_t(block->data_size));
}

bool follows(const placed_block& earlier, const placed_block& later) {
    return later.position == earlier.position + block_size;
}

class chain_reader {
  public:
    chain_reader(platform::byte_source& source, bool fragment, std::string& text,
                 message_read& message, read_window* window)
        : source_(source), fragment_(fragment), text_(text), message_(message), window_(window) {}

    // Appends the data areas of `count` side-by-side blocks from `first`, read with one call.
    void read_together(const placed_block* first, size_t count);

  private:
    void read_each(const placed_block* first, size_t count);
    void note_unreadable(uint64_t start, uint64_t end, int error);

    platform::byte_source& source_;
    bool fragment_;
    std::string& text_;
    message_read& message_;
    read_window* window_;
    std::string run_;
};

void chain_reader::note_unreadable(uint64_t start, uint64_t end, int error) {
    if (!message_.unreadable) message_.unreadable = unreadable_range{start, end, error};
}

// Bytes the file did not hold when the run began (a data area running past its end) read
// as zero bytes, so the length still counts them, and the message is marked cut short.
// Bytes that cannot be read, or are gone since the run began, are zero bytes too, and the
// message is marked unreadable.
void chain_reader::read_together(const placed_block* first, size_t count) {
    uint64_t start = first[0].position + header_size;
    size_t span =
        size_t(first[count - 1].position - first[0].position) + text_bytes(first[count - 1].block);
    if (run_.size() < span) run_.resize(span);
    if (window_ == nullptr || !window_->copy(start, run_.data(), span)) {
        platform::read_outcome read = source_.read(start, run_.data(), span);
        if (read.error != 0) {
            read_each(first, count);  // finds which blocks fail
            return;
        }
        if (read.count < span) message_.cut_short = true;
        std::memset(run_.data() + read.count, 0, span - read.count);
    }
    for (size_t k = 0; k < count; ++k) {
        size_t at = text_.size();
        size_t n = text_bytes(first[k].block);
        text_.append(run_, k * block_size, n);
        if (fragment_) mark_freed_word(text_.data() + at, n);
    }
}

// Reads side-by-side blocks one at a time after a read of all of them failed.
void chain_reader::read_each(const placed_block* first, size_t count) {
    for (size_t k = 0; k < count; ++k) {
        size_t n = text_bytes(first[k].block);
        uint64_t start = first[k].position + header_size;
        size_t at = text_.size();
        text_.append(n, '\0');
        platform::read_outcome read = source_.read(start, text_.data() + at, n);
        if (read.error != 0) {
            std::memset(text_.data() + at + read.count, 0, n - read.count);
            note_unreadable(start + read.count, start + n, read.error);
        } else if (read.count < n) {
            message_.cut_short = true;
        }
        if (fragment_) mark_freed_word(text_.data() + at, n);
    }
}

// A chain that ends because the block it names could not be read is cut short: the
// message touches those bytes.
std::optional<unreadable_range> unreadable_next(const dbx_t* store, const placed_block& last) {
    if (last.block->next_offset == 0) return std::nullopt;
    // The block named lies in the same store as the last one.
    uint64_t start = last.position - last.block->offset + last.block->next_offset,
             end = start + header_size + 4;
    for (const unreadable_range& range : store->unreadable) {
        if (range.start < end && start < range.end) return range;
    }
    return std::nullopt;
}

// Reads the chain's text. A run that only lists the messages needs no more than the
// bytes its row is made of: the reading stops once more text could not change the row.
// Such a reading starts with a batch of two blocks and doubles the batch each time, so a
// header with no end in sight is looked at a few times, not once for every block.
void read_chain(dbx_t* store, int list, const dbx_block_t* head, bool header_only,
                read_window* window, message_read& message,
                size_t enough = std::numeric_limits<size_t>::max()) {
    auto blocks = chain_blocks(store, list, head);
    message.unreadable = unreadable_next(store, blocks.back());
    size_t total = 0;
    for (const placed_block& placed : blocks) total += text_bytes(placed.block);
    std::string& text = message.text.emplace();
    if (!header_only) text.reserve(std::min(total, enough));
    chain_reader reader(*store->source, list == 1, text, message, window);
    size_t most = header_only ? header_batch_blocks : batch_blocks;
    size_t settled_to = 0;
    for (size_t first = 0; first < blocks.size();) {
        size_t count = 1;
        while (first + count < blocks.size() && count < most &&
               follows(blocks[first + count - 1], blocks[first + count])) {
            ++count;
        }
        reader.read_together(&blocks[first], count);
        first += count;
        if (header_only && hdr_fields_settled(text.data(), text.data() + text.size(), &settled_to))
            break;
        if (text.size() >= enough) break;
        most = std::min(most * 2, batch_blocks);
    }
    // A fragment's last blocks are padded with NUL bytes, which are not message text.
    if (list == 1) {
        size_t end = text.find_last_not_of('\0');
        text.resize(end == std::string::npos ? 0 : end + 1);
    }
}

// Lists this short are read a header at a time: starting a stream would cost more.
constexpr int stream_least_chains = 32;
// Heads further apart than this on average are read one at a time.
constexpr uint64_t stream_gap_most = 16 << 10;
// A head this far ahead of the stream starts it over there rather than reading up to it.
constexpr uint64_t stream_skip_most = uint64_t(4) << 20;

// Whether the heads of a list lie close enough together for a stream of the bytes from
// the first to the last to cost less than a read for each: the stream reads on another
// core, but it reads everything.
bool worth_streaming(const dbx_t* store, int list) {
    const dbx_block_list_t& blocks = store->lists[list];
    if (blocks.chain_count < stream_least_chains) return false;
    uint64_t first = dbx_block_position(store, list, blocks.chains.front());
    uint64_t last = dbx_block_position(store, list, blocks.chains.back());
    return last >= first && (last - first) / uint64_t(blocks.chain_count) <= stream_gap_most;
}

}  // namespace

read_window::read_window() = default;

read_window::~read_window() {
    stop();
}

void read_window::stop() {
    if (stream_) stream_->release(chunk_.buffer);
    chunk_ = {};
    stream_.reset();
}

void read_window::expect(const dbx_t* store, int list, int chain) {
    if (!streaming_) streaming_ = worth_streaming(store, list);
    if (!*streaming_) return;
    uint64_t head = dbx_block_position(store, list, store->lists[list].chains[chain]);
    uint64_t held_end = chunk_start_ + chunk_.length;
    if (stream_ && head >= chunk_start_ && head < held_end + stream_skip_most) return;
    stop();
    uint64_t end = uint64_t(std::max<int64_t>(store->file_size, 0));
    if (head >= end) return;
    try {
        stream_ = std::make_unique<chunk_reader>(*store->source, head, end, _dbx_scan_chunk_size());
    } catch (const std::exception&) {  // no memory or no thread for it: each header is read
        streaming_ = false;
        return;
    }
    chunk_start_ = head;
    chunk_ = stream_->next();
    if (chunk_.buffer < 0) stop();
}

// Moves on to the chunk after this one; false at the end of the file.
bool read_window::next_chunk() {
    uint64_t next_start = chunk_start_ + chunk_.length;
    stream_->release(chunk_.buffer);
    chunk_ = stream_->next();
    chunk_start_ = next_start;
    if (chunk_.buffer >= 0) return true;
    stop();
    return false;
}

bool read_window::copy(uint64_t start, char* into, size_t length) {
    if (!stream_ || start < chunk_start_ ||
        start >= chunk_start_ + chunk_.length + stream_skip_most)
        return false;
    while (length > 0) {
        while (start >= chunk_start_ + chunk_.length) {
            if (!next_chunk()) return false;
        }
        for (const unreadable_range& range : chunk_.unreadable) {
            if (range.start < start + length && start < range.end) return false;
        }
        size_t n = size_t(std::min<uint64_t>(length, chunk_start_ + chunk_.length - start));
        std::memcpy(into, chunk_.data + (start - chunk_start_), n);
        into += n;
        start += n;
        length -= n;
    }
    return true;
}

std::string_view item_text(std::string_view text, bool fragment) {
    if (!fragment || text.size() <= freed_word_size ||
        text.find_first_not_of(freed_word_mark) < freed_word_size)
        return text;
    std::string_view rest = text.substr(freed_word_size);
    return hdr_begins_with_field(rest.data(), rest.data() + rest.size()) ? rest : text;
}

item::message _message_item(std::string_view text, bool fragment, const hdr_raw_fields* raw) {
    std::string_view bytes = item_text(text, fragment);
    std::optional<std::string> to, subject;
    if (bytes.size() != text.size()) {
        // Read by the list's rule from the text the item reads.
        hdr_main_values fields = hdr_main_fields(bytes.data(), bytes.data() + bytes.size());
        to = std::move(fields[hdr_to]);
        subject = std::move(fields[hdr_subject]);
    } else if (raw) {
        to = raw->to;
        subject = raw->subject;
    }
    item::message message = item::build_item(bytes, to, subject, true);
    item::add_identity(message, item::run_filetime());
    return message;
}

bool _chain_touches_unreadable(const dbx_t* store, int list, const dbx_block_t* head) {
    if (store->unreadable.empty()) return false;
    auto blocks = chain_blocks(store, list, head);
    if (unreadable_next(store, blocks.back())) return true;
    for (const placed_block& placed : blocks) {
        for (const unreadable_range& range : store->unreadable) {
            if (range.start < placed.position + block_size && placed.position < range.end)
                return true;
        }
    }
    return false;
}

message_read _read_message(main_view* dialog, dbx_t* store, int list, int chain, int mode,
                           bool whole, read_window* window) {
    const dbx_block_t* head = store->lists[list].chains[chain];
    message_read message;
    message.fragment = list == 1;
    std::optional<std::string>& subject = message.subject;
    std::optional<std::string>& from = message.from;
    std::optional<std::string>& to = message.to;
    try {
        // A run that only lists needs the row and nothing for a file: no decoded values,
        // no date, no raw fields, and only the header.
        bool listing = mode == 0 && !whole;
        read_window* ahead = listing ? window : nullptr;  // whole messages are read directly
        if (ahead != nullptr) ahead->expect(store, list, chain);
        read_chain(store, list, head, listing, ahead, message);
        // A list gets no row for a message it could not read: the row would be empty or
        // made of another message's bytes.
        main_view* row_view = mode == 0 && message.unreadable ? nullptr : dialog;
        if (listing) {
            show_list_row(row_view, hdr_row_of(message.text->c_str()).view());
        } else {
            add_list_row(row_view);  // the row comes before any field is read
            hdr_summary summary = hdr_message_summary(message.text->c_str());
            hdr_row_view row = summary.row.view();
            fill_list_row(row_view, row, &summary.decoded);
            message.raw = hdr_raw_values(row);
            from = std::move(summary.decoded[hdr_from]);
            subject = std::move(summary.decoded[hdr_subject]);
            to = std::move(summary.decoded[hdr_to]);
            if (summary.date) message.date = *summary.date;
        }
    } catch (const std::bad_alloc&) {
        message.text.reset();  // the driver counts the message as failed
        message.out_of_memory = true;
    }
    if (mode != 0) message.name = message_file_name(from, to, subject, head->offset, mode);
    return message;
}

std::optional<std::string> _read_message_start(dbx_t* store, int list, int chain, size_t bytes,
                                               main_view* row_view) {
    message_read message;
    try {
        read_chain(store, list, store->lists[list].chains[chain], false, nullptr, message, bytes);
        if (message.unreadable) return std::nullopt;
        show_list_row(row_view, hdr_row_of(message.text->c_str()).view());
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
    return std::move(message.text);
}
