#pragma once
// Reading a store or an image: one byte source, opened read-only without touching its
// access time where the system allows, its size measured once at the opening (block
// devices included), and positional reads that tell a failed or short read apart from the
// end of the data. A plain file is one source; images of several files (image.h) are
// others.

#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace platform {

// What opening a source sets as its error for a file that is neither a regular file, a
// block device nor a folder (a pipe, a socket, a terminal): reading it could block the run
// for ever or never end. Not an errno value.
constexpr int not_regular_file = -2;

// Where a file lives: two files are the same when both numbers agree (device and inode;
// on Windows the volume serial number and the file index).
struct file_identity {
    uint64_t device = 0;
    uint64_t index = 0;
    bool operator==(const file_identity&) const = default;
};
// The identity of what stands under `path`, without following a link there.
std::optional<file_identity> identity_of(const char* path);

// The error of a read that ended before the size the source had when it was opened: the
// file shrank or was cut meanwhile. Not an errno value.
constexpr int file_shrank = -1;

// What a read or opening error says: the system's text for an errno value, for
// file_shrank "the file is shorter than when the run began", for not_regular_file "not a
// regular file".
const char* read_error_text(int error);

// The result of one positional read: `count` bytes arrived; `error` is the errno of the
// failure that stopped it (or file_shrank), 0 when all bytes up to the length asked or up
// to the source's size arrived.
struct read_outcome {
    size_t count = 0;
    int error = 0;
};

// One file of a source. `start` is where its bytes begin in the source and `placed` how
// many of them the source holds there (a split raw segment); an EWF segment holds
// compressed data and is placed nowhere.
struct image_segment {
    std::string path;
    uint64_t size = 0;
    uint64_t start = 0;
    uint64_t placed = 0;
};

// The bytes of a store or an image, read by position. Owned by whoever opened it; reads
// may come from more than one thread.
class byte_source {
  public:
    virtual ~byte_source() = default;
    byte_source(const byte_source&) = delete;
    byte_source& operator=(const byte_source&) = delete;

    // The path it was opened from, as given.
    const std::string& name() const { return name_; }
    // Its size in bytes when it was opened: a block device's, an image's whole data.
    uint64_t size() const { return size_; }
    // Where its (first) file lives, when that could be had at the opening.
    std::optional<file_identity> identity() const { return identity_; }

    // Reads `length` bytes at `offset`. Bytes at or past size() are not read: the count
    // stops there with no error. A read that ends before size() is never taken for the end
    // of the data: the bytes that did not arrive are an error (file_shrank), and a failure
    // stops the count with its errno.
    virtual read_outcome read(uint64_t offset, void* buffer, size_t length) = 0;
    // Its files, in order; a plain file is its only segment.
    virtual std::vector<image_segment> segments() const;
    // What is wrong with an image as a whole, found when it was opened (a segment missing,
    // short or damaged, a size the data does not reach): one sentence each.
    virtual std::vector<std::string> faults() const { return {}; }
    // The digests an image stores of the data it was made from (EWF), by name ("md5",
    // "sha1"), in lower-case hexadecimal.
    virtual std::vector<std::pair<std::string, std::string>> stored_digests() const { return {}; }

  protected:
    byte_source(std::string name, uint64_t size, std::optional<file_identity> identity)
        : name_(std::move(name)), size_(size), identity_(identity) {}
    // An image learns its size while it is opened.
    void set_size(uint64_t size) { size_ = size; }

  private:
    std::string name_;
    uint64_t size_;
    std::optional<file_identity> identity_;
};

// A source read by calls that each give some of the bytes asked: read() asks again until
// the bytes before size() arrived or a call failed.
class positioned_source : public byte_source {
  public:
    read_outcome read(uint64_t offset, void* buffer, size_t length) final;

  protected:
    using byte_source::byte_source;
    // Reads at most `length` bytes at `offset`, which lies below size(): the count, 0 at
    // the end of the data, -1 (errno set) on failure.
    virtual long long read_once(uint64_t offset, char* buffer, size_t length) = 0;
};

// What opening a source gave: the source, or the error that left none. `opened` tells a
// file that opened but could not be measured, or is a folder (EISDIR), from one that did
// not open.
struct source_opening {
    std::unique_ptr<byte_source> source;
    int error = 0;
    bool opened = false;
};

// Opens a plain file or a block device read-only, shared with other processes; on Linux
// with O_NOATIME when the system grants it. The opening never blocks: a pipe is refused
// (not_regular_file), not waited on. With `measured`, the reads keep to that size instead
// of the one the file has now (a store opened again).
source_opening open_file_source(const char* path, std::optional<uint64_t> measured = std::nullopt);

}  // namespace platform
