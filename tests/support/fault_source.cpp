#include "support/fault_source.h"

#include <algorithm>
#include <cerrno>

namespace {

// How much of a read of `length` bytes at `offset` goes through before `stop` stops it.
size_t before(const std::function<std::optional<uint64_t>(uint64_t, size_t)>& stop, uint64_t offset,
              size_t length) {
    if (!stop) return length;
    std::optional<uint64_t> at = stop(offset, length);
    if (!at || *at >= offset + length) return length;
    return *at > offset ? size_t(*at - offset) : 0;
}

class faulty_source : public platform::byte_source {
  public:
    faulty_source(std::unique_ptr<platform::byte_source> inner, const read_faults& faults)
        : byte_source(inner->name(), inner->size(), inner->identity()),
          inner_(std::move(inner)),
          faults_(faults) {}

    // The bytes before a bad one arrive and the read fails there; the bytes past an end
    // never arrive, and the read finds the file shorter than it was.
    platform::read_outcome read(uint64_t offset, void* buffer, size_t length) override {
        size_t wanted = offset >= size() ? 0 : size_t(std::min<uint64_t>(length, size() - offset));
        size_t allowed = before(faults_.bad, offset, wanted);
        size_t present = before(faults_.end, offset, allowed);
        platform::read_outcome outcome = inner_->read(offset, buffer, present);
        if (outcome.error != 0) return outcome;
        if (outcome.count < allowed) {
            outcome.error = platform::file_shrank;
        } else if (allowed < wanted) {
            outcome.error = EIO;
        }
        return outcome;
    }
    std::vector<platform::image_segment> segments() const override { return inner_->segments(); }
    std::vector<std::string> faults() const override { return inner_->faults(); }
    std::vector<std::pair<std::string, std::string>> stored_digests() const override {
        return inner_->stored_digests();
    }

  private:
    std::unique_ptr<platform::byte_source> inner_;
    const read_faults& faults_;
};

}  // namespace

std::unique_ptr<platform::byte_source> with_faults(std::unique_ptr<platform::byte_source> inner,
                                                   const read_faults& faults) {
    return std::make_unique<faulty_source>(std::move(inner), faults);
}

platform::source_opener opener_with_faults(const read_faults& faults) {
    return [&faults](const char* path, platform::source_kind kind) {
        platform::source_opening opening = platform::open_source(path, kind);
        if (opening.source) opening.source = with_faults(std::move(opening.source), faults);
        return opening;
    };
}

std::function<std::optional<uint64_t>(uint64_t, size_t)> bad_ranges(
    std::vector<std::pair<uint64_t, uint64_t>> ranges) {
    return [ranges](uint64_t offset, size_t length) -> std::optional<uint64_t> {
        for (auto [start, end] : ranges) {
            if (offset < end && start < offset + length) return std::max(offset, start);
        }
        return std::nullopt;
    };
}
