// Reading one chain of blocks from the store and naming the message it holds.

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

#include "engine/internal.h"
#include "header/summary.h"
#include "platform/fs.h"

namespace {

constexpr uint32_t data_area_limit = 512;
constexpr uint32_t block_size = 528;  // a block's header and its data area

// The chain's blocks, head first.
std::vector<const dbx_block_t*> chain_blocks(const dbx_block_list_t& list, const dbx_block_t* head) {
    std::vector<const dbx_block_t*> blocks;
    for (int32_t index = static_cast<int32_t>(head - list.blocks.data()); index >= 0;
         index = list.blocks[index].next) {
        blocks.push_back(&list.blocks[index]);
    }
    return blocks;
}

// Blocks that lie one right after the other in the file are read with one call; the
// data areas are then taken out of what was read. Bytes the file does not hold (a data
// area running past its end) read as zero bytes, so the length still counts them.
void append_blocks(FILE* file, const std::vector<const dbx_block_t*>& blocks, size_t first,
                   size_t count, bool fragment, std::string& text, std::string& run) {
    uint64_t start = uint64_t{blocks[first]->offset} + 16;
    const dbx_block_t* last = blocks[first + count - 1];
    size_t span = size_t(last->offset - blocks[first]->offset) +
                  std::min(static_cast<uint32_t>(last->data_size), data_area_limit);
    run.assign(span, '\0');
    platform::read_at(file, start, run.data(), span);
    for (size_t k = 0; k < count; ++k) {
        size_t n = std::min(static_cast<uint32_t>(blocks[first + k]->data_size), data_area_limit);
        size_t at = text.size();
        text.append(run, k * block_size, n);
        // The first word of a freed block's data area is not message text: it is marked.
        if (fragment) std::memcpy(text.data() + at, "----", std::min<size_t>(4, n));
    }
}

std::string read_chain(dbx_t* store, int list, const dbx_block_t* head) {
    auto blocks = chain_blocks(store->lists[list], head);
    std::string text, run;
    for (size_t first = 0; first < blocks.size();) {
        size_t count = 1;
        while (first + count < blocks.size() &&
               blocks[first + count]->offset == blocks[first + count - 1]->offset + block_size) {
            ++count;
        }
        append_blocks(store->file, blocks, first, count, list == 1, text, run);
        first += count;
    }
    // A fragment's last blocks are padded with NUL bytes, which are not message text.
    if (list == 1) {
        size_t end = text.find_last_not_of('\0');
        text.resize(end == std::string::npos ? 0 : end + 1);
    }
    return text;
}

}  // namespace

message_read _read_message(main_view* dialog, dbx_t* store, int list, int chain, int mode) {
    const dbx_block_t* head = store->lists[list].chains[chain];
    message_read message;
    std::optional<std::string> subject, from, to;
    try {
        message.text = read_chain(store, list, head);
        hdr_message_summary(message.text->c_str(), dialog, &subject, &from, &to, &message.date,
                            &message.raw);
    } catch (const std::bad_alloc&) {
        message.text.reset();  // the driver counts the message as failed
    }
    message.name = message_file_name(from, to, subject, head->offset, mode);
    return message;
}
