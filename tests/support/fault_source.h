#pragma once
// Reads that fail or end where a test says, as on a failing disk or a file cut short while
// a run reads it: a byte source around the one a run would open.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "platform/image.h"
#include "platform/read.h"

// Each is asked before every read with its offset and length (after the length was cut to
// the source's size). `bad` names the first offset of the range at which the read fails
// (EIO), as a bad sector would; `end` the offset at which the file ends for this read, as
// if it had been cut short since the run began. None: the read goes through.
struct read_faults {
    std::function<std::optional<uint64_t>(uint64_t offset, size_t length)> bad;
    std::function<std::optional<uint64_t>(uint64_t offset, size_t length)> end;
};

// `inner`, read through `faults` (kept by reference: it may change between reads).
std::unique_ptr<platform::byte_source> with_faults(std::unique_ptr<platform::byte_source> inner,
                                                   const read_faults& faults);

// Opens stores and images as a run does, each read through `faults`.
platform::source_opener opener_with_faults(const read_faults& faults);

// Every read that touches one of the ranges [start, end) fails at the first byte of it.
std::function<std::optional<uint64_t>(uint64_t, size_t)> bad_ranges(
    std::vector<std::pair<uint64_t, uint64_t>> ranges);
