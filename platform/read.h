#pragma once
// Reading a store: opened read-only without touching its access time where the system
// allows, its size (block devices included), and positional reads that tell a failed or
// short read apart from the end of the file. Tests can make any read fail at any offset,
// as a disk with bad sectors would.

#include <cstdint>
#include <cstdio>
#include <functional>
#include <optional>

namespace platform {

// What open_for_reading sets errno to for a file that is neither a regular file, a block
// device nor a folder (a pipe, a socket, a terminal): reading it could block the run for
// ever or never end. Not an errno value.
constexpr int not_regular_file = -2;

// Opens a file for reading in binary mode, shared with other processes; on Linux with
// O_NOATIME when the system grants it. The opening never blocks: a pipe is refused, not
// waited on. Null with errno set on failure (not_regular_file included).
FILE* open_for_reading(const char* path);

// What an open file is: its size in bytes (for a block device, the device's size) and
// whether it is a folder.
struct stream_status {
    int64_t size = 0;
    bool directory = false;
};
std::optional<stream_status> status_of(FILE* file);

// Where a file lives: two files are the same when both numbers agree (device and inode;
// on Windows the volume serial number and the file index).
struct file_identity {
    uint64_t device = 0;
    uint64_t index = 0;
    bool operator==(const file_identity&) const = default;
};
std::optional<file_identity> identity_of(FILE* file);
// The identity of what stands under `path`, without following a link there.
std::optional<file_identity> identity_of(const char* path);

// The error of a read that ended before the size the file had when the run began: the
// file shrank or was cut meanwhile. Not an errno value.
constexpr int file_shrank = -1;

// What a read or opening error says: the system's text for an errno value, for
// file_shrank "the file is shorter than when the run began", for not_regular_file "not a
// regular file".
const char* read_error_text(int error);

// The result of one positional read: `count` bytes arrived; `error` is the errno of the
// failure that stopped it (or file_shrank), 0 when all bytes up to `length` or up to
// `size` arrived.
struct read_outcome {
    size_t count = 0;
    int error = 0;
};
// Reads `length` bytes at `offset` of a file whose size was `size` when it was measured
// at the start. Bytes at or past `size` are not read: the count stops there with no
// error. A read that ends before `size` is never taken for the end of the file: the bytes
// that did not arrive are an error (file_shrank).
read_outcome read_at(FILE* file, uint64_t offset, void* buffer, size_t length, uint64_t size);

// One read of at most `length` bytes at `offset` of the file itself (not of an image it
// opens): the count, 0 at its end, -1 (errno set) on failure.
long long read_file_once(FILE* file, uint64_t offset, char* buffer, size_t length);

// Test seams, each asked before every read with its offset and length; set them while no
// run is going on. A read fault names the first offset of the range at which the read
// fails (EIO), as a bad sector would; a file end names the offset at which the file ends
// for this read, as if it had been cut short since the run began.
using read_fault = std::function<std::optional<uint64_t>(uint64_t offset, size_t length)>;
void set_read_fault(read_fault fault);
void set_file_end(read_fault end);

}  // namespace platform
