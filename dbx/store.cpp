// Opening and releasing a store, and the small file helpers the store reader uses.

#include <cerrno>
#include <new>
#include <optional>

#include "dbx/dbx.h"
#include "dbx/scan.h"
#include "dbx/words.h"
#include "platform/fs.h"

namespace {

// The size of `name` relative to `directory`, low 32 bits widened with their sign; nullopt
// when it cannot be had (errno says why). The working directory is put back afterwards.
std::optional<int64_t> size_in_directory(const char* directory, const char* name) {
    std::optional<std::string> saved = platform::current_directory();
    if (!saved) return std::nullopt;
    if (directory == nullptr || platform::change_directory(directory) != 0) return std::nullopt;
    std::optional<int64_t> size = platform::file_size(name);
    int status_error = errno;
    platform::change_directory(saved->c_str());
    errno = status_error;
    if (!size) return std::nullopt;
    return int64_t(int32_t(uint32_t(uint64_t(*size))));
}

void release(dbx_t* store) {
    if (store->file != nullptr) std::fclose(store->file);
    delete store;
}

// Fills an opened store: name, size, signature, scan. False when the store cannot be
// used; errno tells why, except for an abandoned run.
bool load(dbx_t* store, const char* path, bool& abandoned) {
    store->file_name = path;
    // A size whose low 32 bits happen to be all ones is a real size, not a failure.
    std::optional<int64_t> size = size_in_directory(".", path);
    if (!size) return false;
    store->file_size = *size;
    for (int i = 0; i < 4; i++) _dbx_read_word(store->file);  // the signature, unexamined
    abandoned = !_dbx_scan(store);
    return !abandoned;
}

}  // namespace

uint32_t _dbx_read_word(FILE* file) {
    uint32_t word = 0;
    for (int i = 0; i < 4; i++) {
        int byte = std::fgetc(file);
        word |= uint32_t(byte == EOF ? 0xFF : byte) << (8 * i);
    }
    return word;
}

int64_t _get_file_size(const char* directory, const char* name) {
    return size_in_directory(directory, name).value_or(-1);
}

// Opens the store at `path` (UTF-8) and scans it. Null when the file cannot be opened
// (silently), when its status or size cannot be read, or when memory runs out (both with
// the "dbx_open" error report), and when the run is abandoned during the scan.
dbx_t* dbx_open(const char* path) {
    dbx_t* store = new (std::nothrow) dbx_t;
    if (store == nullptr) return nullptr;
    store->file = platform::open_file(path, "rb");
    if (store->file == nullptr) {
        release(store);
        return nullptr;
    }
    if (!platform::file_size(path)) {
        platform::report_error("dbx_open");
        release(store);
        return nullptr;
    }
    bool abandoned = false;
    bool loaded = false;
    try {
        loaded = load(store, path, abandoned);
    } catch (const std::bad_alloc&) {
        errno = ENOMEM;
    }
    if (!loaded) {
        if (!abandoned) platform::report_error("dbx_open");
        release(store);
        return nullptr;
    }
    return store;
}

void dbx_close(dbx_t* store) {
    if (store == nullptr) return;
    if (store->file != nullptr) {
        std::fclose(store->file);
        store->file = nullptr;
    }
    for (dbx_block_list_t& list : store->lists) {
        list.chains.clear();
        list.chains.shrink_to_fit();
        list.chain_count = 0;
        list.blocks.clear();
        list.blocks.shrink_to_fit();
        list.block_count = 0;
    }
    delete store;
}
