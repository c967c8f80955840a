#pragma once
// Disk images as examiners hold them: a raw file or device, a raw image split into
// numbered segments (disk.001, disk.002, ... or disk.aa, disk.ab, ...), or an Expert
// Witness (EWF) image (disk.E01, disk.E02, ... or disk.Ex01, ...). Each is opened as one
// byte source (read.h) that reads the whole image: its segments one after another, or the
// media data an EWF image holds.

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/digest.h"
#include "platform/read.h"

namespace platform {

// What open_image_source gives as its error for an EWF image in a build that cannot read
// one. Not an errno value.
constexpr int ewf_not_supported = -3;
// The error of a read of image bytes whose chunk fails its checksum, or that lie in a
// segment file missing or damaged (EWF). Not an errno value.
constexpr int image_damaged = -4;
// The error of a read of split raw image bytes that no segment file holds: a segment is
// missing, empty, short or not a file. Not an errno value.
constexpr int segment_missing = -5;

// The bytes of an EWF image (ewf.cpp), opened from its first segment `path`, whose file
// `first` was opened already; null with errno set when the image cannot be read.
std::unique_ptr<byte_source> open_ewf(const char* path, const byte_source& first);

// Opens an image read-only: a plain file or a block device as open_file_source opens it; a
// split raw image from its first segment, the others found beside it; an EWF image,
// recognised by its signature, with its segments. Fails as open_file_source does, and
// with ewf_not_supported for an EWF image the build cannot read.
source_opening open_image_source(const char* path);

// The names of the segments that may follow `first` in a split raw image, in order:
// "disk.002" to "disk.999" after "disk.001", "disk.ab" to "disk.zz" after "disk.aa" (in the
// case it is written in); none when `first` is no first segment's name.
std::vector<std::string> split_segment_names(const std::string& first);

// The files of the EWF image that `first` (any of its segments) belongs to, in order, as
// libewf finds them beside it (disk.E01 ... disk.E99, disk.EAA ...; disk.s01 ...): none when
// it finds none or the name is no segment's; nullopt in a build that reads no EWF image.
std::optional<std::vector<std::string>> ewf_segment_names(const char* first);

// What a run reads: a store file or a disk image.
enum class source_kind { store, image };
// Opens a store as open_file_source does, an image as open_image_source does.
source_opening open_source(const char* path, source_kind kind);
// How a run opens what it reads; tests hand one that opens sources with faults of their
// own, and a run that digests its images one that wraps them.
using source_opener = std::function<source_opening(const char* path, source_kind kind)>;

// What the reads of one image gave, taken as a run reads it: the MD5 and SHA-256 of its
// data and of each segment file placed in it, each once every byte of it was read in order
// from its start. Bytes the run passes over, or does not reach, are read once for them, in
// order, unless the run is abandoned.
struct image_reading {
    std::string path;  // the image's name(), as given
    uint64_t size = 0;
    uint64_t read_in_order = 0;  // bytes read in order from the image's start
    std::optional<digests> data;
    std::vector<std::optional<digests>> segments;  // by the order of segments()
};
// The image, reading as before, with what is read of it digested; what it read is handed to
// `done` when it is closed (after reading the bytes the reads did not reach, when they
// read any).
std::unique_ptr<byte_source> digesting_reads(std::unique_ptr<byte_source> image,
                                             std::function<void(const image_reading&)> done);

}  // namespace platform
