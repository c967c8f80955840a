// Images of several files read as one: split raw images here, EWF images in ewf.cpp.

#include "platform/image.h"

#include <cerrno>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <vector>

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

// The segments of a split raw image, read one after another as one image.
class split_image : public image_source {
  public:
    ~split_image() override {
        for (FILE* file : files_) std::fclose(file);
    }

    // Adds a segment of `size` bytes: the split image closes it. The first segment is opened
    // again for it, apart from the image's own FILE, whose reads come here.
    void add(FILE* file, uint64_t size) {
        files_.push_back(file);
        starts_.push_back(size_);
        size_ += size;
    }
    size_t segments() const { return files_.size(); }

    long long read_once(uint64_t offset, char* buffer, size_t length) override {
        if (offset >= size_ || length == 0) return 0;
        size_t k = files_.size() - 1;
        while (starts_[k] > offset) --k;
        uint64_t end = k + 1 < starts_.size() ? starts_[k + 1] : size_;
        size_t wanted = size_t(std::min<uint64_t>(length, end - offset));
        read_outcome read =
            read_at(files_[k], offset - starts_[k], buffer, wanted, end - starts_[k]);
        if (read.error != 0 && read.count == 0) {
            errno = read.error > 0 ? read.error : EIO;
            return -1;
        }
        return (long long)read.count;
    }

    uint64_t size() const override { return size_; }

  private:
    std::vector<FILE*> files_;
    std::vector<uint64_t> starts_;
    uint64_t size_ = 0;
};

// The segments after the first one beside it, when there are any: a lone "disk.001" is a
// plain file. False (errno set) when a segment found cannot be read.
bool add_segments(FILE* first, const std::string& path, std::shared_ptr<split_image>& image) {
    std::optional<stream_status> status = status_of(first);
    if (!status || status->directory) return true;
    for (std::string name = next_segment(path); !name.empty(); name = next_segment(name)) {
        FILE* segment = open_for_reading(name.c_str());
        if (segment == nullptr) {
            if (errno == ENOENT) break;
            return false;
        }
        std::optional<stream_status> own = status_of(segment);
        if (!own || own->directory) {
            std::fclose(segment);
            break;
        }
        if (!image) {
            image = std::make_shared<split_image>();
            FILE* again = open_for_reading(path.c_str());
            if (again == nullptr) {
                int error = errno;
                std::fclose(segment);
                errno = error;
                return false;
            }
            image->add(again, uint64_t(status->size));
        }
        image->add(segment, uint64_t(own->size));
    }
    return true;
}

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
    int error = 0;
    if (is_ewf(file)) {
        std::shared_ptr<image_source> ewf = open_ewf(path);
        if (ewf) {
            attach(file, std::move(ewf));
            return file;
        }
        error = errno;
    } else if (is_first_segment(path)) {
        std::shared_ptr<split_image> image;
        if (add_segments(file, path, image)) {
            if (image) attach(file, std::move(image));
            return file;
        }
        error = errno;
    } else {
        return file;
    }
    std::fclose(file);
    errno = error;
    return nullptr;
}

void close_image(FILE* file) {
    if (file == nullptr) return;
    {
        std::lock_guard<std::mutex> hold(sources_lock);
        sources.erase(file);
    }
    std::fclose(file);
}

}  // namespace platform
