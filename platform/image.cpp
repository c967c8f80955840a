// Images of several files read as one: split raw images here, EWF images in ewf.cpp.

#include "platform/image.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "platform/fs.h"
#include "platform/read.h"
#include "platform/view.h"

namespace platform {

namespace {

// The two signatures an EWF file opens with: EWF-E01 (and its kin) and EWF2-Ex01.
bool is_ewf(byte_source& file) {
    static const unsigned char ewf1[8] = {'E', 'V', 'F', 0x09, 0x0D, 0x0A, 0xFF, 0x00};
    static const unsigned char ewf2[8] = {'E', 'V', 'F', '2', 0x0D, 0x0A, 0x81, 0x00};
    unsigned char start[8];
    if (file.size() < 8) return false;
    read_outcome read = file.read(0, start, sizeof start);
    return read.error == 0 && read.count == sizeof start &&
           (std::memcmp(start, ewf1, 8) == 0 || std::memcmp(start, ewf2, 8) == 0);
}

// The name of the segment after `name` in a split raw image, or empty when `name` ends in
// no segment number: ".001" is followed by ".002" (up to ".999"), ".aa" by ".ab" (up to
// ".zz"), in the case the first one is written in.
std::string next_segment(const std::string& name) {
    size_t dot = name.find_last_of('.');
    if (dot == std::string::npos) return {};
    std::string next = name;
    size_t digits = name.size() - dot - 1;
    auto all = [&](auto test) {
        for (size_t i = dot + 1; i < name.size(); ++i)
            if (!test(name[i])) return false;
        return digits > 0;
    };
    if (digits == 3 && all([](char c) { return c >= '0' && c <= '9'; })) {
        int number = std::stoi(name.substr(dot + 1));
        if (number >= 999) return {};
        char text[16];
        std::snprintf(text, sizeof text, "%03d", number + 1);
        return name.substr(0, dot + 1) + text;
    }
    bool lower = all([](char c) { return c >= 'a' && c <= 'z'; });
    bool upper = all([](char c) { return c >= 'A' && c <= 'Z'; });
    if (digits != 2 || !(lower || upper)) return {};
    char last = lower ? 'z' : 'Z', first = lower ? 'a' : 'A';
    for (size_t i = name.size(); i-- > dot + 1;) {
        if (next[i] != last) {
            ++next[i];
            return next;
        }
        next[i] = first;
    }
    return {};
}

// Whether a name is the first segment of a split raw image.
bool is_first_segment(const std::string& name) {
    size_t dot = name.find_last_of('.');
    if (dot == std::string::npos) return false;
    std::string number = name.substr(dot + 1);
    return number == "001" || number == "aa" || number == "AA";
}

// One segment file of a split raw image.
struct segment_file {
    std::string path;
    std::unique_ptr<byte_source> file;  // null: missing, not a file or not to be opened
    uint64_t size = 0;
    int error = 0;
    uint64_t start = 0, placed = 0;
};

// The segments that follow `first` (the image's first file, its name a first segment's),
// each opened as found; none when no segment follows: the first is then a plain file.
// Every name of the series is looked at, so that a segment after a missing one is still
// found.
std::vector<segment_file> following_segments(const std::string& first) {
    std::vector<std::string> names = split_segment_names(first);
    names.insert(names.begin(), first);
    size_t last = 0;
    std::vector<segment_file> found(names.size());
    for (size_t k = 1; k < names.size(); ++k) {
        found[k].path = names[k];
        source_opening opening = open_file_source(names[k].c_str());
        found[k].file = std::move(opening.source);
        if (found[k].file) {
            found[k].size = found[k].file->size();
        } else if (opening.opened) {  // a folder, or a file that cannot be measured
            found[k].error = opening.error == EISDIR ? not_regular_file : EIO;
        } else {
            found[k].error = opening.error;
            // Windows refuses to open a folder as a file.
            if (found[k].error != ENOENT && entry_at(names[k].c_str()) == entry_kind::directory)
                found[k].error = not_regular_file;
        }
        if (found[k].file || found[k].error != ENOENT) last = k;
    }
    found.resize(last == 0 ? 0 : last + 1);
    return found;
}

// The segments of a split raw image. Every segment but the last holds as many bytes as
// the first one (split's way): segment k starts at k times that size, whatever came
// before it, so a segment missing, empty or short leaves a range no file holds (read as
// failed, segment_missing) and the bytes after it keep their place.
class split_image : public positioned_source {
  public:
    // `parts` from following_segments, the first one's file in place.
    explicit split_image(std::vector<segment_file> parts)
        : positioned_source(parts[0].path, 0, parts[0].file->identity()), parts_(std::move(parts)) {
        place();
    }

    std::vector<image_segment> segments() const override {
        std::vector<image_segment> listed;
        for (const segment_file& each : parts_)
            if (each.file) listed.push_back({each.path, each.size, each.start, each.placed});
        return listed;
    }

    std::vector<std::string> faults() const override { return faults_; }

  protected:
    long long read_once(uint64_t offset, char* buffer, size_t length) override {
        if (offset >= size() || length == 0) return 0;
        size_t k = std::min<uint64_t>(nominal_ == 0 ? 0 : offset / nominal_, parts_.size() - 1);
        while (parts_[k].start > offset) --k;
        const segment_file& at = parts_[k];
        if (offset >= at.start + at.placed) {  // no file holds these bytes
            errno = segment_missing;
            return -1;
        }
        uint64_t end = at.start + at.placed;
        size_t wanted = size_t(std::min<uint64_t>(length, end - offset));
        read_outcome read = at.file->read(offset - at.start, buffer, wanted);
        if (read.error != 0 && read.count == 0) {
            errno = read.error > 0 ? read.error : EIO;
            return -1;
        }
        return (long long)read.count;
    }

  private:
    // Places each segment and says what is wrong with any of them.
    void place() {
        const std::string& first = file_name_of(parts_[0].path);
        nominal_ = parts_[0].size;
        for (const segment_file& each : parts_) nominal_ = nominal_ > 0 ? nominal_ : each.size;
        for (size_t k = 0; k < parts_.size(); ++k) {
            segment_file& each = parts_[k];
            bool last = k + 1 == parts_.size();
            each.start = k * nominal_;
            each.placed = each.file == nullptr ? 0
                          : last               ? each.size
                                               : std::min(each.size, nominal_);
            std::string name = "segment " + file_name_of(each.path);
            if (each.file == nullptr && each.error == ENOENT) {
                faults_.push_back(name + " is missing");
            } else if (each.file == nullptr) {
                faults_.push_back(name + ": " + read_error_text(each.error));
            } else if (each.size == 0) {
                faults_.push_back(name + " is empty");
            } else if (!last && each.size < nominal_) {
                faults_.push_back(name + " is " + std::to_string(nominal_ - each.size) +
                                  " bytes shorter than " + first);
            } else if (!last && each.size > nominal_) {
                faults_.push_back(name + " is " + std::to_string(each.size - nominal_) +
                                  " bytes longer than " + first + "; they are not read");
            }
        }
        set_size(parts_.back().start + parts_.back().placed);
    }

    std::vector<segment_file> parts_;
    uint64_t nominal_ = 0;  // every segment's size but the last one's
    std::vector<std::string> faults_;
};

// Takes the bytes of an image as they are read, in order from the image's start and
// from each placed segment's start, into their digests; hands what was read to `done` when
// it is closed.
class digesting_image : public byte_source {
  public:
    digesting_image(std::unique_ptr<byte_source> inner,
                    std::function<void(const image_reading&)> done)
        : byte_source(inner->name(), inner->size(), inner->identity()),
          inner_(std::move(inner)),
          done_(std::move(done)),
          segments_(inner_->segments()),
          data_(stores_sha1(*inner_)) {
        reading_.path = name();
        reading_.size = size();
        data_.end = reading_.size;
        for (const image_segment& each : segments_) {
            auto& range = ranges_.emplace_back(std::make_unique<in_order>());
            range->next = each.start;
            range->end = each.start + each.placed;
            // A segment of which the image holds only part (or nothing, as an EWF file)
            // gets no digest from the reads; one that is the whole image (a plain file)
            // takes the data's.
            range->whole = each.placed == each.size;
            range->all = each.start == 0 && each.placed == reading_.size;
        }
    }
    ~digesting_image() override {
        if (done_) done_(finish());
    }

    read_outcome read(uint64_t offset, void* buffer, size_t length) override {
        read_outcome got = inner_->read(offset, buffer, length);
        if (got.count > 0) {
            std::lock_guard<std::mutex> hold(lock_);
            // Bytes the reader passed over (a scan starts past a store's file header, a
            // carve skips what it has read otherwise) are read here, once, in order.
            fill_to(offset);
            add(offset, static_cast<const char*>(buffer), got.count);
        }
        return got;
    }
    std::vector<image_segment> segments() const override { return segments_; }
    std::vector<std::string> faults() const override { return inner_->faults(); }
    std::vector<std::pair<std::string, std::string>> stored_digests() const override {
        return inner_->stored_digests();
    }

  private:
    static constexpr size_t fill_piece = 1 << 20;

    // Reads and digests the bytes from where the digest stands up to `offset`; stops for
    // good at a read that fails (the data is then not digested), and where the run is
    // abandoned.
    void fill_to(uint64_t offset) {
        std::vector<char> piece;
        while (!stuck_ && data_.next < std::min(offset, data_.end)) {
            if (!run_checkpoint()) return;
            uint64_t at = data_.next;
            piece.resize(size_t(std::min<uint64_t>(fill_piece, std::min(offset, data_.end) - at)));
            read_outcome filled = inner_->read(at, piece.data(), piece.size());
            if (filled.error != 0 || filled.count != piece.size()) {
                stuck_ = true;
                return;
            }
            add(at, piece.data(), piece.size());
        }
    }

    // What was read, once reading is over: the bytes the reader did not reach are read
    // now, unless the run was abandoned.
    image_reading finish() {
        std::lock_guard<std::mutex> hold(lock_);
        if (data_.next > 0) fill_to(data_.end);
        reading_.read_in_order = data_.next;
        reading_.data = data_.finish();
        for (auto& range : ranges_)
            reading_.segments.push_back(!range->whole ? std::nullopt
                                        : range->all  ? reading_.data
                                                      : range->finish());
        return reading_;
    }

    void add(uint64_t offset, const char* bytes, size_t count) {
        data_.add(offset, bytes, count);
        for (auto& range : ranges_)
            if (!range->all) range->add(offset, bytes, count);
    }

    // An image that stores the SHA-1 of its data has it taken too, to be matched.
    static bool stores_sha1(const byte_source& image) {
        for (const auto& [name, value] : image.stored_digests())
            if (name == "sha1") return true;
        return false;
    }

    // Bytes [next, end) of the image still to come, in order.
    struct in_order {
        explicit in_order(bool sha1 = false) : stream(sha1) {}
        uint64_t next = 0, end = 0;
        bool whole = true;  // the segment lies whole in the image
        bool all = false;   // it is the whole image
        digest_stream stream;
        void add(uint64_t offset, const char* bytes, size_t count) {
            if (offset > next || offset + count <= next || next >= end) return;
            size_t from = size_t(next - offset);
            size_t upto = size_t(std::min<uint64_t>(offset + count, end) - offset);
            stream.add(std::string_view(bytes + from, upto - from));
            next = offset + upto;
        }
        std::optional<digests> finish() {
            if (next < end) return std::nullopt;
            return stream.finish();
        }
    };

    std::unique_ptr<byte_source> inner_;
    std::function<void(const image_reading&)> done_;
    std::vector<image_segment> segments_;
    std::mutex lock_;
    bool stuck_ = false;  // a read of bytes passed over failed
    in_order data_;
    std::vector<std::unique_ptr<in_order>> ranges_;
    image_reading reading_;
};

}  // namespace

source_opening open_image_source(const char* path) {
    source_opening opening = open_file_source(path);
    if (!opening.source) return opening;
    if (is_ewf(*opening.source)) {
        std::unique_ptr<byte_source> image = open_ewf(path, *opening.source);
        if (!image) opening.error = errno;
        opening.source = std::move(image);
    } else {
        std::vector<segment_file> parts = following_segments(path);
        if (!parts.empty()) {
            parts[0] = {path, std::move(opening.source), 0, 0, 0, 0};
            parts[0].size = parts[0].file->size();
            opening.source = std::make_unique<split_image>(std::move(parts));
        }
    }
    return opening;
}

std::vector<std::string> split_segment_names(const std::string& first) {
    std::vector<std::string> names;
    if (!is_first_segment(first)) return names;
    for (std::string name = next_segment(first); !name.empty(); name = next_segment(name))
        names.push_back(name);
    return names;
}

source_opening open_source(const char* path, source_kind kind) {
    return kind == source_kind::image ? open_image_source(path) : open_file_source(path);
}

std::unique_ptr<byte_source> digesting_reads(std::unique_ptr<byte_source> image,
                                             std::function<void(const image_reading&)> done) {
    return std::make_unique<digesting_image>(std::move(image), std::move(done));
}

}  // namespace platform
