#pragma once
// Disk images as examiners hold them: a raw file or device, a raw image split into
// numbered segments (disk.001, disk.002, ... or disk.aa, disk.ab, ...), or an Expert
// Witness (EWF) image (disk.E01, disk.E02, ... or disk.Ex01, ...). Each is opened as one
// FILE of the image's first file, through which the positional reads of read.h reach the
// whole image: its segments one after another, or the media data an EWF image holds.

#include <cstdint>
#include <cstdio>
#include <memory>

namespace platform {

// What open_image sets errno to for an EWF image in a build that cannot read one. Not an
// errno value.
constexpr int ewf_not_supported = -3;

// The bytes of an image other than a plain file, read by position.
class image_source {
  public:
    virtual ~image_source() = default;
    // Reads at most `length` bytes at `offset`: the count, 0 at the end of the image, -1
    // (errno set) on failure. Called from more than one thread.
    virtual long long read_once(uint64_t offset, char* buffer, size_t length) = 0;
    // The image's whole size.
    virtual uint64_t size() const = 0;
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

}  // namespace platform
