// Opening and releasing a store, and the file-size helper of the store reader.

#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <new>
#include <optional>

#include "dbx/dbx.h"
#include "dbx/layout.h"
#include "dbx/scan.h"
#include "platform/fs.h"
#include "platform/read.h"
#include "platform/text.h"

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

}  // namespace

int64_t _get_file_size(const char* directory, const char* name) {
    return size_in_directory(directory, name).value_or(-1);
}

uint64_t dbx_scanned_size(const dbx_t* store) {
    return std::min<uint64_t>(uint64_t(std::max<int64_t>(store->file_size, 0)),
                              dbx_layout::addressable);
}

// Opens the store at `path` (UTF-8) read-only and scans it. Null when the file cannot be
// opened (silently, unless it is no regular file), when its status cannot be read or it is a
// folder, or when memory runs out (all three with the "dbx_open" error report), and when the run is
// abandoned during the scan. The 16-byte signature at the start is not examined: the scan starts
// after it.
dbx_t* dbx_open(const char* path, dbx_block_observer* observer,
                const platform::source_opener* open) {
    dbx_t* store = new (std::nothrow) dbx_t;
    if (store == nullptr) return nullptr;
    platform::source_opening opening =
        open ? (*open)(path, platform::source_kind::store) : platform::open_file_source(path);
    if (!opening.source) {
        errno = opening.error;
        if (opening.opened) {  // a folder, or a file whose size cannot be had
            platform::report_error("dbx_open");
        } else if (errno == platform::not_regular_file) {  // a pipe or a device: said, as
                                                           // nothing else would say why
            std::fprintf(stderr, "morvale: %s: %s\n", platform::printable(path).c_str(),
                         platform::read_error_text(errno));
            std::fflush(stderr);
        }
        delete store;
        return nullptr;
    }
    store->own_source = std::move(opening.source);
    store->source = store->own_source.get();
    int64_t size = int64_t(store->source->size());
    if (uint64_t(size) >= dbx_layout::addressable) {
        std::fprintf(stderr,
                     "morvale: %s: the file holds %" PRId64
                     " bytes; blocks name offsets below 4 GiB "
                     "only, so its first 4 GiB are scanned\n",
                     path, size);
        std::fflush(stderr);
    }
    bool scanned = false;
    try {
        store->file_name = path;
        store->file_size = size;
        scanned = _dbx_scan(store, observer);
    } catch (const std::bad_alloc&) {
        errno = ENOMEM;
        platform::report_error("dbx_open");
        delete store;
        return nullptr;
    }
    if (!scanned) {  // abandoned: nothing more is said
        delete store;
        return nullptr;
    }
    return store;
}

void dbx_close_file(dbx_t* store) {
    store->own_source.reset();
    store->source = nullptr;
}

bool dbx_reopen_file(dbx_t* store) {
    platform::source_opening opening = platform::open_file_source(
        store->file_name.c_str(), uint64_t(std::max<int64_t>(store->file_size, 0)));
    store->own_source = std::move(opening.source);
    store->source = store->own_source.get();
    return store->source != nullptr;
}

void dbx_close(dbx_t* store) {
    if (store == nullptr) return;
    dbx_close_file(store);
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
