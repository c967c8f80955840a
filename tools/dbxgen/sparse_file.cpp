// Writing a hostile store: its pieces at their offsets in a file of the store's size,
// the rest left as a hole where the file system keeps holes, so that stores of several
// gigabytes cost next to nothing on disk and are made in moments.

#include <algorithm>
#include <cstdio>

#include "platform/fs.h"
#include "tools/dbxgen/hostile.h"

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#include <winioctl.h>
#else
#include <sys/types.h>
#include <unistd.h>
#endif

namespace dbxgen {
namespace {

// Sets the file's size, marking it sparse first on Windows (ignored where unsupported).
bool set_size(FILE* file, uint64_t size) {
#ifdef _WIN32
    HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)));
    DWORD returned = 0;
    DeviceIoControl(handle, FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &returned, nullptr);
    LARGE_INTEGER end;
    end.QuadPart = LONGLONG(size);
    return SetFilePointerEx(handle, end, nullptr, FILE_BEGIN) && SetEndOfFile(handle);
#else
    return ftruncate(fileno(file), off_t(size)) == 0;
#endif
}

bool seek_to(FILE* file, uint64_t offset) {
#ifdef _WIN32
    return _fseeki64(file, int64_t(offset), SEEK_SET) == 0;
#else
    return fseeko(file, off_t(offset), SEEK_SET) == 0;
#endif
}

}  // namespace

bool write_hostile_store(const hostile_store& store, const std::string& path) {
    FILE* file = platform::open_file(path.c_str(), "wb");
    if (file == nullptr) return false;
    bool written = set_size(file, store.size);
    for (const store_image& piece : store.pieces) {
        // A piece may run past the end (a block whose data the file does not hold).
        if (piece.origin() >= store.size) continue;
        size_t length = size_t(std::min<uint64_t>(piece.size(), store.size - piece.origin()));
        written = written && seek_to(file, piece.origin()) &&
                  std::fwrite(piece.bytes().data(), 1, length, file) == length;
    }
    return std::fclose(file) == 0 && written;
}

}  // namespace dbxgen
