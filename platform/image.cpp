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

namespace platform {

// Opens an EWF image whose first segment is `path`; null with errno set when it cannot.
std::shared_ptr<image_source> open_ewf(const char* path);

namespace {

std::mutex sources_lock;
std::map<FILE*, std::shared_ptr<image_source>> sources;

void attach(FILE* file, std::shared_ptr<image_source> source) {
    std::lock_guard<std::mutex> hold(sources_lock);
    sources[file] = std::move(source);
}

// The two signatures an EWF file opens with: EWF-E01 (and its kin) and EWF2-Ex01.
bool is_ewf(FILE* file) {
    static const unsigned char ewf1[8] = {'E', 'V', 'F', 0x09, 0x0D, 0x0A, 0xFF, 0x00};
    static const unsigned char ewf2[8] = {'E', 'V', 'F', '2', 0x0D, 0x0A, 0x81, 0x00};
    unsigned char start[8];
    std::optional<stream_status> status = status_of(file);
    if (!status || status->directory || status->size < 8) return false;
    read_outcome read = read_at(file, 0, start, sizeof start, uint64_t(status->size));
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

// A plain file or block device read as an image, so that what is read of it can be
// digested.
class plain_image : public image_source {
  public:
    plain_image(FILE* file, std::string path, uint64_t size)
        : file_(file), path_(std::move(path)), size_(size) {}
    long long read_once(uint64_t offset, char* buffer, size_t length) override {
        return read_file_once(file_, offset, buffer, length);
    }
    uint64_t size() const override { return size_; }
    std::vector<image_segment> segments() const override { return {{path_, size_, 0, size_}}; }

  private:
    FILE* file_;  // the image's own FILE, closed by close_image
    std::string path_;
    uint64_t size_;
};

// The segments of a split raw image. Every segment but the last holds as many bytes as
// the first one (split's way): segment k starts at k times that size, whatever came
// before it, so a segment missing, empty or short leaves a range no file holds (read as
// failed, segment_missing) and the bytes after it keep their place.
class split_image : public image_source {
  public:
    ~split_image() override {
        for (part& each : parts_)
            if (each.file) std::fclose(each.file);
    }

    // Opens the segments from `first` (opened as `first_file`) on; false when
    // there is no second one: the first is then a plain file.
    bool open(const std::string& first, FILE* first_file) {
        std::optional<stream_status> status = status_of(first_file);
        if (!status || status->directory) return false;
        // Every name of the series is looked at, so that a segment after a missing one is
        // still found.
        std::vector<std::string> names{first};
        for (std::string name = next_segment(first); !name.empty(); name = next_segment(name))
            names.push_back(name);
        size_t last = 0;
        std::vector<part> found(names.size());
        for (size_t k = 1; k < names.size(); ++k) {
            found[k].path = names[k];
            found[k].file = open_for_reading(names[k].c_str());
            found[k].error = found[k].file == nullptr ? errno : 0;
            // Windows refuses to open a folder as a file.
            if (found[k].file == nullptr && found[k].error != ENOENT &&
                entry_at(names[k].c_str()) == entry_kind::directory)
                found[k].error = not_regular_file;
            if (found[k].file == nullptr) {
                if (found[k].error != ENOENT) last = k;
                continue;
            }
            std::optional<stream_status> own = status_of(found[k].file);
            if (!own || own->directory) {
                found[k].error = own ? not_regular_file : EIO;
                std::fclose(found[k].file);
                found[k].file = nullptr;
            } else {
                found[k].size = uint64_t(std::max<int64_t>(own->size, 0));
            }
            last = k;
        }
        if (last == 0) return false;
        found[0] = {first, open_for_reading(first.c_str()), uint64_t(status->size), 0};
        if (found[0].file == nullptr) {
            for (part& each : found)
                if (each.file) std::fclose(each.file);
            return false;
        }
        parts_.assign(std::make_move_iterator(found.begin()),
                      std::make_move_iterator(found.begin() + long(last) + 1));
        place();
        return true;
    }

    long long read_once(uint64_t offset, char* buffer, size_t length) override {
        if (offset >= size_ || length == 0) return 0;
        size_t k = std::min<uint64_t>(nominal_ == 0 ? 0 : offset / nominal_, parts_.size() - 1);
        while (parts_[k].start > offset) --k;
        const part& at = parts_[k];
        if (offset >= at.start + at.placed) {  // no file holds these bytes
            errno = segment_missing;
            return -1;
        }
        uint64_t end = at.start + at.placed;
        size_t wanted = size_t(std::min<uint64_t>(length, end - offset));
        read_outcome read = read_at(at.file, offset - at.start, buffer, wanted, at.placed);
        if (read.error != 0 && read.count == 0) {
            errno = read.error > 0 ? read.error : EIO;
            return -1;
        }
        return (long long)read.count;
    }

    uint64_t size() const override { return size_; }

    std::vector<image_segment> segments() const override {
        std::vector<image_segment> listed;
        for (const part& each : parts_)
            if (each.file) listed.push_back({each.path, each.size, each.start, each.placed});
        return listed;
    }

    std::vector<std::string> faults() const override { return faults_; }

  private:
    struct part {
        std::string path;
        FILE* file = nullptr;  // null: missing, not a file or not to be opened
        uint64_t size = 0;
        int error = 0;
        uint64_t start = 0, placed = 0;
    };

    // Places each segment and says what is wrong with any of them.
    void place() {
        const std::string& first = file_name_of(parts_[0].path);
        nominal_ = parts_[0].size;
        for (const part& each : parts_) nominal_ = nominal_ > 0 ? nominal_ : each.size;
        for (size_t k = 0; k < parts_.size(); ++k) {
            part& each = parts_[k];
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
        size_ = parts_.back().start + parts_.back().placed;
    }

    std::vector<part> parts_;
    uint64_t nominal_ = 0;  // every segment's size but the last one's
    uint64_t size_ = 0;
    std::vector<std::string> faults_;
};

// Takes the bytes of an image as they are read, in order from the image's start and
// from each placed segment's start, into their digests.
class digesting_image : public image_source {
  public:
    digesting_image(std::string path, std::shared_ptr<image_source> inner)
        : inner_(std::move(inner)), segments_(inner_->segments()), data_(stores_sha1(*inner_)) {
        reading_.path = std::move(path);
        reading_.size = inner_->size();
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

    long long read_once(uint64_t offset, char* buffer, size_t length) override {
        long long got = inner_->read_once(offset, buffer, length);
        if (got > 0) {
            std::lock_guard<std::mutex> hold(lock_);
            // A scan starts a little way in (past a store's file header): those few bytes
            // are read here, once.
            if (offset > data_.next && offset - data_.next <= gap_read) {
                std::vector<char> gap(size_t(offset - data_.next));
                uint64_t at = data_.next;
                if (inner_->read_once(at, gap.data(), gap.size()) == (long long)gap.size())
                    add(at, gap.data(), gap.size());
            }
            add(offset, buffer, size_t(got));
        }
        return got;
    }
    uint64_t size() const override { return inner_->size(); }
    std::vector<image_segment> segments() const override { return segments_; }
    std::vector<std::string> faults() const override { return inner_->faults(); }
    std::vector<std::pair<std::string, std::string>> stored_digests() const override {
        return inner_->stored_digests();
    }

    // What was read, once reading is over.
    image_reading finish() {
        std::lock_guard<std::mutex> hold(lock_);
        reading_.read_in_order = data_.next;
        reading_.data = data_.finish();
        for (auto& range : ranges_)
            reading_.segments.push_back(!range->whole ? std::nullopt
                                        : range->all  ? reading_.data
                                                      : range->finish());
        return reading_;
    }

  private:
    static constexpr uint64_t gap_read = 1 << 16;

    void add(uint64_t offset, const char* bytes, size_t count) {
        data_.add(offset, bytes, count);
        for (auto& range : ranges_)
            if (!range->all) range->add(offset, bytes, count);
    }

    // An image that stores the SHA-1 of its data has it taken too, to be matched.
    static bool stores_sha1(const image_source& image) {
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

    std::shared_ptr<image_source> inner_;
    std::vector<image_segment> segments_;
    std::mutex lock_;
    in_order data_;
    std::vector<std::unique_ptr<in_order>> ranges_;
    image_reading reading_;
};

std::function<void(const image_reading&)> reading_done;

}  // namespace

std::shared_ptr<image_source> source_of(FILE* file) {
    std::lock_guard<std::mutex> hold(sources_lock);
    if (sources.empty()) return nullptr;
    auto found = sources.find(file);
    return found == sources.end() ? nullptr : found->second;
}

FILE* open_image(const char* path) {
    FILE* file = open_for_reading(path);
    if (file == nullptr) return nullptr;
    std::shared_ptr<image_source> source;
    if (is_ewf(file)) {
        source = open_ewf(path);
        if (!source) {
            int error = errno;
            std::fclose(file);
            errno = error;
            return nullptr;
        }
    } else if (is_first_segment(path)) {
        auto split = std::make_shared<split_image>();
        if (split->open(path, file)) source = std::move(split);
    }
    if (reading_done) {
        std::optional<stream_status> status = status_of(file);
        if (!source && status && !status->directory)
            source = std::make_shared<plain_image>(file, path, uint64_t(status->size));
        if (source) source = std::make_shared<digesting_image>(path, std::move(source));
    }
    if (source) attach(file, std::move(source));
    return file;
}

void close_image(FILE* file) {
    if (file == nullptr) return;
    std::shared_ptr<image_source> source;
    {
        std::lock_guard<std::mutex> hold(sources_lock);
        auto found = sources.find(file);
        if (found != sources.end()) {
            source = std::move(found->second);
            sources.erase(found);
        }
    }
    if (auto* digesting = dynamic_cast<digesting_image*>(source.get()); digesting && reading_done)
        reading_done(digesting->finish());
    std::fclose(file);
}

void digest_image_reads(std::function<void(const image_reading&)> done) {
    reading_done = std::move(done);
}

}  // namespace platform
