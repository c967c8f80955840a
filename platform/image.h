#pragma once
// Disk images as examiners hold them: a raw file or device, a raw image split into
// numbered segments (disk.001, disk.002, ... or disk.aa, disk.ab, ...), or an Expert
// Witness (EWF) image (disk.E01, disk.E02, ... or disk.Ex01, ...). Each is opened as one
// FILE of the image's first file, through which the positional reads of read.h reach the
// whole image: its segments one after another, or the media data an EWF image holds.

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/digest.h"

namespace platform {

// What open_image sets errno to for an EWF image in a build that cannot read one. Not an
// errno value.
constexpr int ewf_not_supported = -3;
// The error of a read of image bytes whose chunk fails its checksum, or that lie in a
// segment file missing or damaged (EWF). Not an errno value.
constexpr int image_damaged = -4;
// The error of a read of split raw image bytes that no segment file holds: a segment is
// missing, empty, short or not a file. Not an errno value.
constexpr int segment_missing = -5;

// One file of an image. `start` is where its bytes begin in the image and `placed` how
// many of them the image holds there (a split raw segment); an EWF segment holds
// compressed data and is placed nowhere.
struct image_segment {
    std::string path;
    uint64_t size = 0;
    uint64_t start = 0;
    uint64_t placed = 0;
};

// The bytes of an image other than a plain file, read by position.
class image_source {
  public:
    virtual ~image_source() = default;
    // Reads at most `length` bytes at `offset`: the count, 0 at the end of the image, -1
    // (errno set) on failure. Called from more than one thread.
    virtual long long read_once(uint64_t offset, char* buffer, size_t length) = 0;
    // The image's whole size.
    virtual uint64_t size() const = 0;
    // Its files, in order.
    virtual std::vector<image_segment> segments() const = 0;
    // What is wrong with the image as a whole, found when it was opened (a segment missing,
    // short or damaged, a size the data does not reach): one sentence each.
    virtual std::vector<std::string> faults() const { return {}; }
    // The digests the image stores of the data it was made from (EWF), by name ("md5",
    // "sha1"), in lower-case hexadecimal.
    virtual std::vector<std::pair<std::string, std::string>> stored_digests() const { return {}; }
};

// The source the reads of `file` go to; null for a plain file.
std::shared_ptr<image_source> source_of(FILE* file);

// Opens an image read-only: a plain file, a block device or a folder as open_for_reading
// opens it; a split raw image from its first segment, the others found beside it; an EWF
// image, recognised by its signature, with its segments. Null with errno set on failure:
// not_regular_file for a pipe or anything that cannot be read by position,
// ewf_not_supported for an EWF image the build cannot read.
FILE* open_image(const char* path);
// Closes an image opened by open_image.
void close_image(FILE* file);

// What the reads of one image gave, taken as a run reads it (no read of its own): the MD5
// and SHA-256 of its data and of each segment file placed in it, each once every byte of
// it was read in order from its start.
struct image_reading {
    std::string path;  // as given to open_image
    uint64_t size = 0;
    uint64_t read_in_order = 0;  // bytes read in order from the image's start
    std::optional<digests> data;
    std::vector<std::optional<digests>> segments;  // by the order of segments()
};
// With `done`, every image opened from now on digests what is read of it, and hands what
// it read to `done` when it is closed; without, none does.
void digest_image_reads(std::function<void(const image_reading&)> done);

}  // namespace platform
