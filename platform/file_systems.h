#pragma once
// The file systems of a disk image, read through The Sleuth Kit where the build has it: the
// volume system and the file system of each partition (or one file system filling the
// image), the files whose names a caller wants, allocated or deleted, with where their
// bytes lie in the image. The image is read through its own byte source (raw, split or
// EWF), so every kind of image is read the same way.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/read.h"

namespace platform {

// True when the build reads file systems.
bool file_systems_readable();

// Bytes [start, end).
using byte_range = std::pair<uint64_t, uint64_t>;

// Some of a file's bytes and where they lie in the image; a sparse run has no clusters and
// reads as zero bytes.
struct file_run {
    uint64_t offset = 0;  // in the file
    uint64_t length = 0;
    uint64_t image_offset = 0;
    bool sparse = false;
};

// A time a file system keeps, in seconds since 1970 UTC and nanoseconds.
struct file_time {
    int64_t seconds = 0;
    uint32_t nanoseconds = 0;
};

// A file found in a file system of the image.
struct found_file {
    std::string partition;      // "p1", "p2", ... by the partition table's order; "p0" without one
    std::string path;           // from its file system's root, '/' between names, no leading '/'
    uint64_t meta_address = 0;  // the MFT entry or the inode
    uint64_t size = 0;          // the bytes the file holds
    uint64_t allocated_size = 0;
    bool deleted = false;  // its name and its metadata are unallocated
    std::optional<file_time> modified, accessed, changed, created;
    std::vector<file_run> runs;  // in file order
    std::string resident;        // the bytes of a file kept within its metadata (no runs)
    // The bytes [start, end) of the file whose clusters the file system gives to something
    // else now: a deleted file's reused clusters, in file order.
    std::vector<byte_range> reused;
};

// What the file systems of an image hold of the files wanted.
struct file_system_survey {
    std::vector<found_file> files;
    // Image bytes the files found lie in (less the clusters reused), in order, merged.
    std::vector<byte_range> read;
    // The cluster size of the file systems read, when they agree.
    std::optional<uint32_t> cluster_size;
    int file_systems = 0;            // the file systems opened
    std::vector<std::string> notes;  // what could not be read, one sentence each
};

// Opens the volume system and the file systems of `image` and finds every regular file,
// allocated or deleted, whose name `wanted` takes. A deleted file is found only when its
// metadata still names its clusters (not one whose metadata another file now uses).
// Nothing here fails: what cannot be opened is a note. In a build without The Sleuth Kit,
// one note says so.
file_system_survey survey_file_systems(byte_source& image,
                                       const std::function<bool(std::string_view name)>& wanted);

// The bytes of `file`, read from `image` by its runs, as a source named `name`; `image`
// must outlive it. Bytes past its runs, up to its size, read as zero bytes.
std::unique_ptr<byte_source> open_found_file(byte_source& image, const found_file& file,
                                             std::string name);

}  // namespace platform
