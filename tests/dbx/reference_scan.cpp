#include "reference_scan.h"

#include <cstdio>

#include "dbx/scan.h"
#include "platform/fs.h"

namespace {

uint32_t read_word(FILE* file) {
    uint32_t word = 0;
    for (int i = 0; i < 4; i++) {
        int byte = std::fgetc(file);
        word += uint32_t(byte == EOF ? 0xFF : byte) << (8 * i);
    }
    return word;
}

// Five consecutive words at pos .. pos + 16, held in a ring of eight.
struct word_ring {
    uint32_t slots[8] = {};
    unsigned first = 0;
    unsigned count = 0;

    void push(uint32_t word) { slots[(first + count++) % 8] = word; }
    void drop() { first = (first + 1) % 8, count--; }
    void clear() { first = 0, count = 0; }
    uint32_t operator[](unsigned i) const { return slots[(first + i) % 8]; }
};

void record(dbx_block_list_t& list, uint32_t offset, uint32_t next_offset, int32_t data_size) {
    list.blocks.push_back(dbx_block_t{offset, next_offset, data_size, -1, -1});
    list.block_count++;
    list.chain_count++;
    int32_t n = list.block_count - 1;
    dbx_block_t& added = list.blocks[n];
    if (next_offset != 0 && next_offset < offset) {
        for (int32_t k = n - 1; k >= 0; k--) {
            if (list.blocks[k].prev == -1 && list.blocks[k].offset == next_offset) {
                added.next = k;
                list.blocks[k].prev = n;
                list.chain_count--;
                break;
            }
        }
    }
    for (int32_t k = n - 1; k >= 0; k--) {
        if (list.blocks[k].next == -1 && list.blocks[k].next_offset == offset) {
            added.prev = k;
            list.blocks[k].next = n;
            list.chain_count--;
            break;
        }
    }
}

void make_chains(dbx_block_list_t& list) {
    if (list.chain_count == 0) return;
    list.chains.assign(size_t(list.chain_count), nullptr);
    size_t filled = 0;
    for (int32_t i = 0; i < list.block_count && filled < list.chains.size(); i++)
        if (list.blocks[i].prev == -1) list.chains[filled++] = &list.blocks[i];
}

void literal_scan(dbx_t* store, FILE* file) {
    std::printf("------ Scanning %s:   0.0%%", store->file_name.c_str());
    std::fflush(stdout);
    uint32_t size32 = uint32_t(store->file_size);
    uint32_t step = size32 / 1000;
    uint32_t pos = 0, last_report = 0;
    word_ring window;
    while (pos < size32) {
        if (pos - last_report >= step) {
            std::printf("\b\b\b\b\b\b%5.1f%%", pos * 100.0 / size32);
            std::fflush(stdout);
            last_report = pos;
        }
        if (window.count == 0) {
            for (int i = 0; i < 4; i++) window.push(read_word(file));
            pos += 16;
        }
        window.push(read_word(file));
        uint32_t w0 = window[0], w1 = window[1], w2 = window[2], w3 = window[3], w4 = window[4];
        bool next_ok = w3 < size32 && w3 % 4 == 0 && w3 != pos;
        bool live = w0 == pos && w1 == 512 && int32_t(w2) >= 1 && int32_t(w2) <= 512 && next_ok;
        bool freed =
            !live && w0 == pos && w1 == 508 && w2 == 528 && next_ok && w4 < size32 && w4 % 4 == 0;
        if (live || freed) {
            record(store->lists[live ? 0 : 1], w0, w3, int32_t(w2));
            std::fseek(file, long(pos + 528), SEEK_SET);
            pos += 512;
            window.clear();
        } else {
            window.drop();
            pos += 4;
        }
    }
    std::printf("\b\b\b\b\b\b100.0%%\n");
    make_chains(store->lists[0]);
    make_chains(store->lists[1]);
}

}  // namespace

dbx_t* reference_open(const char* path) {
    FILE* file = platform::open_file(path, "rb");
    if (file == nullptr) return nullptr;
    dbx_t* store = new dbx_t;
    store->file_name = path;
    store->file_size = _get_file_size(".", path);
    for (int i = 0; i < 4; i++) read_word(file);
    literal_scan(store, file);
    std::fclose(file);
    // Its messages are read as those of a store dbx_open opened.
    store->own_source = platform::open_file_source(path).source;
    store->source = store->own_source.get();
    return store;
}
