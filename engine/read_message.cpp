// Reading one chain of blocks from the store and naming the message it holds.

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>

#include "engine/internal.h"
#include "header/summary.h"

namespace {

constexpr uint32_t data_area_limit = 512;

bool seek_to(FILE* file, uint64_t offset) {
#ifdef _WIN32
    return _fseeki64(file, static_cast<long long>(offset), SEEK_SET) == 0;
#else
    return fseeko(file, static_cast<off_t>(offset), SEEK_SET) == 0;
#endif
}

// Appends the data area of one block. Bytes the file does not hold (a data area running
// past its end) read as zero bytes, so the length still counts the whole area.
void append_block(FILE* file, const dbx_block_t& block, bool fragment, std::string& text) {
    size_t n = std::min(static_cast<uint32_t>(block.data_size), data_area_limit);
    size_t at = text.size();
    text.resize(at + n, '\0');
    if (seek_to(file, uint64_t{block.offset} + 16)) {
        size_t got = std::fread(text.data() + at, 1, n, file);
        (void)got;
    }
    // The first word of a freed block's data area is not message text: it is marked.
    if (fragment) std::memcpy(text.data() + at, "----", std::min<size_t>(4, n));
}

std::string read_chain(dbx_t* store, int list, const dbx_block_t* head) {
    const auto& blocks = store->lists[list].blocks;
    std::string text;
    for (int32_t index = static_cast<int32_t>(head - blocks.data()); index >= 0;
         index = blocks[index].next) {
        append_block(store->file, blocks[index], list == 1, text);
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
        hdr_message_summary(message.text->c_str(), dialog, &subject, &from, &to, &message.date);
    } catch (const std::bad_alloc&) {
        message.text.reset();  // the driver counts the message as failed
    }
    message.name = message_file_name(from, to, subject, head->offset, mode);
    return message;
}
