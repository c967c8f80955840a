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

// Opens a file for reading in binary mode, shared with other processes; on Linux with
// O_NOATIME when the system grants it. Null with errno set on failure.
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

// The result of one positional read: `count` bytes arrived; `error` is the errno of the
// failure that stopped it, 0 when all `length` bytes arrived or the file ended first.
struct read_outcome {
    size_t count = 0;
    int error = 0;
};
read_outcome read_at(FILE* file, uint64_t offset, void* buffer, size_t length);

// Test seam: asked before every read with its offset and length; a value names the first
// offset of the range at which the read fails (EIO). Set it while no run is going on.
using read_fault = std::function<std::optional<uint64_t>(uint64_t offset, size_t length)>;
void set_read_fault(read_fault fault);

}  // namespace platform
