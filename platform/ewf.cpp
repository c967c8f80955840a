// EWF images read through libewf, where the build has it.

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "platform/fs.h"
#include "platform/image.h"
#include "platform/read_ahead.h"

#if defined(MORVALE_HAVE_LIBEWF)
#include <libewf.h>
#endif

namespace platform {

#if defined(MORVALE_HAVE_LIBEWF)

namespace {

// A libewf handle opened for reading on the files `names`; null when they cannot be.
libewf_handle_t* open_handle(std::vector<std::string>& names) {
    std::vector<char*> pointers;
    for (std::string& name : names) pointers.push_back(name.data());
    libewf_handle_t* handle = nullptr;
    if (libewf_handle_initialize(&handle, nullptr) != 1) return nullptr;
    if (libewf_handle_open(handle, pointers.data(), int(pointers.size()), LIBEWF_OPEN_READ,
                           nullptr) == 1)
        return handle;
    libewf_handle_free(&handle, nullptr);
    return nullptr;
}

void close_handle(libewf_handle_t*& handle) {
    if (handle == nullptr) return;
    libewf_handle_close(handle, nullptr);
    libewf_handle_free(&handle, nullptr);
}

// The chunks the second thread decodes ahead, through a handle of its own: a chunk that
// cannot be read whole, or that libewf lists as failing its checksum, is left to the
// image's own handle, which says why.
class ewf_chunks : public chunk_reader {
  public:
    ewf_chunks(libewf_handle_t* handle, uint64_t chunk_size)
        : handle_(handle), chunk_size_(chunk_size) {}
    ~ewf_chunks() override { close_handle(handle_); }

    bool read_chunk(uint64_t index, size_t length, std::vector<char>& into) override {
        into.resize(length);
        ssize_t got = libewf_handle_read_random(handle_, into.data(), length,
                                                off64_t(index * chunk_size_), nullptr);
        uint32_t errors = 0;
        libewf_handle_get_number_of_checksum_errors(handle_, &errors, nullptr);
        bool clean = got >= 0 && size_t(got) == length && errors == errors_;
        errors_ = errors;
        return clean;
    }

  private:
    libewf_handle_t* handle_;
    uint64_t chunk_size_;
    uint32_t errors_ = 0;
};

// One libewf handle over all the segments; libewf's handle is not to be shared between
// threads, so reads take turns. libewf gives a chunk that fails its checksum, or lies in a
// segment file missing or damaged, as zeros and only lists its sectors: those sectors are
// read here as failed (image_damaged), like bad sectors of a disk.
// Whole chunks are decoded once and kept a while; a second thread with a second handle on
// the same files decodes the chunks ahead of a reader that reads in order, such as the
// scan, so that the two cores inflate side by side.
class ewf_image : public positioned_source {
  public:
    ewf_image(std::string name, std::optional<file_identity> identity)
        : positioned_source(std::move(name), 0, identity) {}
    ~ewf_image() override {
        if (worker_.joinable()) {
            ahead_->stop();
            worker_.join();
        }
        second_.reset();
        close_handle(handle_);
    }

    bool open(const char* path) {
        std::vector<std::string> found =
            ewf_segment_names(path).value_or(std::vector<std::string>());
        if (found.empty()) return false;
        for (const std::string& name : found) {
            int64_t size = file_size(name.c_str()).value_or(0);
            segments_.push_back({name, uint64_t(std::max<int64_t>(size, 0)), 0, 0});
        }
        handle_ = open_handle(found);
        if (handle_ == nullptr || libewf_handle_get_media_size(handle_, &size_, nullptr) != 1)
            return false;
        uint32_t sector = 512;
        libewf_handle_get_bytes_per_sector(handle_, &sector, nullptr);
        sector_ = sector == 0 ? 512 : sector;
        size32_t chunk = 0;
        if (libewf_handle_get_chunk_size(handle_, &chunk, nullptr) == 1 && chunk > 0)
            chunk_ = chunk;
        if (libewf_handle_segment_files_corrupted(handle_, nullptr) == 1)
            faults_.push_back(
                "its segment files end before its data does, or are damaged: a "
                "segment after " +
                file_name_of(segments_.back().path) + " is missing or damaged");
        end_at_chunk_tables();
        read_stored_digests();
        set_size(size_);
        names_ = std::move(found);
        room_for_chunks();
        return true;
    }

    std::vector<image_segment> segments() const override { return segments_; }
    std::vector<std::string> faults() const override { return faults_; }
    std::vector<std::pair<std::string, std::string>> stored_digests() const override {
        return stored_;
    }

  protected:
    long long read_once(uint64_t offset, char* buffer, size_t length) override {
        if (offset >= size_ || length == 0) return 0;
        std::lock_guard<std::mutex> hold(lock_);
        // Chunk by chunk, up to the first damaged one: a damaged chunk is decoded once, and
        // bytes known to be damaged are not asked of libewf again.
        uint64_t end = offset + std::min<uint64_t>(length, size_ - offset);
        uint64_t clear = offset;
        while (clear < end) {
            uint64_t upto = std::min(end, (clear / chunk_ + 1) * chunk_);
            if (first_damaged(clear, upto - clear) < upto) break;
            bool failed = false;
            if (chunk_bytes whole = decoded(clear / chunk_, failed)) {
                std::memcpy(buffer + (clear - offset), whole->data() + clear % chunk_,
                            size_t(upto - clear));
                clear = upto;
                continue;
            }
            // A damaged chunk: its bytes up to the damage, as libewf gives them.
            if (failed || read_chunk(clear, buffer + (clear - offset), size_t(upto - clear)) < 0)
                break;
            list_checksum_errors();
            uint64_t good = first_damaged(clear, upto - clear);
            clear = good;
            if (good < upto) break;
        }
        if (clear == offset) {
            errno = image_damaged;
            return -1;
        }
        return (long long)(clear - offset);
    }

  private:
    // Chunks are decoded once and kept a while.
    void room_for_chunks() {
        uint64_t room = uint64_t(8) << 20;
        ahead_ = std::make_unique<chunk_read_ahead>(
            chunk_, size_, size_t(std::max<uint64_t>(2, room / chunk_)),
            size_t(std::max<uint64_t>(4, 4 * room / chunk_)));
    }

    // At the first read, a second handle starts decoding ahead, when there are chunks
    // enough to gain from it (an image opened only to be measured opens no second one).
    void start_reading_ahead() {
        if (second_tried_) return;
        second_tried_ = true;
        if (size_ / chunk_ < 4) return;
        libewf_handle_t* second = open_handle(names_);
        if (second == nullptr) return;
        second_ = std::make_unique<ewf_chunks>(second, chunk_);
        worker_ = std::thread([this] {
            while (ahead_->wait_for_work()) ahead_->step(*second_);
        });
    }

    // Chunk `index` whole, as decoded ahead or before, or decoded now; null when it is
    // damaged, with `failed` set when libewf could not read it at all.
    chunk_bytes decoded(uint64_t index, bool& failed) {
        start_reading_ahead();
        if (chunk_bytes found = ahead_->take(index)) return found;
        uint64_t start = index * chunk_;
        size_t length = size_t(std::min<uint64_t>(chunk_, size_ - start));
        std::shared_ptr<std::vector<char>> bytes;
        try {
            bytes = std::make_shared<std::vector<char>>(length);
        } catch (const std::bad_alloc&) {
            ahead_->keep(index, nullptr);  // not left waiting for
            throw;
        }
        failed = read_chunk(start, bytes->data(), length) < 0;
        bool whole = !failed;
        if (whole) {
            list_checksum_errors();
            whole = first_damaged(start, length) == start + length;
        }
        chunk_bytes kept = whole ? chunk_bytes(std::move(bytes)) : nullptr;
        ahead_->keep(index, kept);
        return kept;
    }

    // Reads bytes of one chunk; a chunk libewf cannot read is known as damaged from then on
    // (a failed read costs the chunk's decoding again, and leaks its buffer in libewf).
    ssize_t read_chunk(uint64_t offset, char* buffer, size_t length) {
        ssize_t got = libewf_handle_read_random(handle_, buffer, length, off64_t(offset), nullptr);
        if (got < 0 || size_t(got) < length) {
            uint64_t start = offset / chunk_ * chunk_;
            failed_.push_back({start, start + chunk_});
            return -1;
        }
        return got;
    }

    // The chunks libewf found damaged so far (it joins neighbouring ones into one entry).
    void list_checksum_errors() {
        uint32_t listed = 0;
        if (libewf_handle_get_number_of_checksum_errors(handle_, &listed, nullptr) != 1) return;
        damaged_.clear();
        for (uint32_t k = 0; k < listed; ++k) {
            uint64_t start = 0, sectors = 0;
            if (libewf_handle_get_checksum_error(handle_, k, &start, &sectors, nullptr) == 1)
                damaged_.push_back({start * sector_, (start + sectors) * sector_});
        }
    }

    // The first byte of [offset, offset + count) known to be damaged, or the end of the
    // range.
    uint64_t first_damaged(uint64_t offset, uint64_t count) const {
        uint64_t end = offset + count;
        for (const auto* ranges : {&damaged_, &failed_})
            for (const auto& [start, stop] : *ranges)
                if (start < end && stop > offset) end = std::max(start, offset);
        return end;
    }

    // A volume section may claim far more data than the chunk tables hold (2^50 sectors):
    // no chunk past the tables can be read, and every failed read would be tried again
    // sector by sector. When the media size is more than the segment files could hold
    // (each chunk takes at least its 4-byte table entry), the image ends after the last
    // chunk that can be read.
    void end_at_chunk_tables() {
        uint64_t chunk = chunk_;
        uint64_t stored = 0;
        for (const image_segment& each : segments_) stored += each.size;
        uint64_t most = (stored / 4 + 1) * chunk;
        if (size_ <= most) return;
        std::vector<char> buffer(chunk);
        auto readable = [&](uint64_t index) {
            return libewf_handle_read_random(handle_, buffer.data(), 1, off64_t(index * chunk),
                                             nullptr) == 1;
        };
        // The first chunk that cannot be read, in [low, high].
        uint64_t low = 0, high = most / chunk;
        while (low < high) {
            uint64_t middle = low + (high - low) / 2;
            if (readable(middle))
                low = middle + 1;
            else
                high = middle;
        }
        faults_.push_back("its volume section claims " + std::to_string(size_) +
                          " bytes, its chunk tables hold " + std::to_string(low * chunk) +
                          ": the image is read up to there");
        size_ = low * chunk;
    }

    void read_stored_digests() {
        for (const char* name : {"MD5", "SHA1"}) {
            uint8_t value[128];
            if (libewf_handle_get_utf8_hash_value(handle_, reinterpret_cast<const uint8_t*>(name),
                                                  std::strlen(name), value, sizeof value,
                                                  nullptr) != 1)
                continue;
            std::string text(reinterpret_cast<char*>(value));
            std::string key(name);
            for (char& c : text) c = char(std::tolower((unsigned char)c));
            for (char& c : key) c = char(std::tolower((unsigned char)c));
            if (!text.empty()) stored_.push_back({key, text});
        }
    }

    libewf_handle_t* handle_ = nullptr;
    std::unique_ptr<chunk_read_ahead> ahead_;
    std::unique_ptr<ewf_chunks> second_;  // the second thread's handle
    std::thread worker_;
    std::vector<std::string> names_;  // the segment files
    bool second_tried_ = false;
    size64_t size_ = 0;  // the media size, up to where the chunk tables reach
    uint64_t sector_ = 512;
    uint64_t chunk_ = 32768;
    std::mutex lock_;
    std::vector<image_segment> segments_;
    std::vector<std::string> faults_;
    std::vector<std::pair<std::string, std::string>> stored_;
    std::vector<std::pair<uint64_t, uint64_t>> damaged_;  // byte ranges, as libewf lists them
    std::vector<std::pair<uint64_t, uint64_t>> failed_;   // chunks libewf could not read
};

}  // namespace

std::optional<std::vector<std::string>> ewf_segment_names(const char* first) {
    char** names = nullptr;
    int count = 0;
    std::vector<std::string> found;
    if (libewf_glob(first, std::strlen(first), LIBEWF_FORMAT_UNKNOWN, &names, &count, nullptr) != 1)
        return found;
    for (int k = 0; k < count; ++k) found.emplace_back(names[k]);
    libewf_glob_free(names, count, nullptr);
    return found;
}

std::unique_ptr<byte_source> open_ewf(const char* path, const byte_source& first) {
    auto image = std::make_unique<ewf_image>(path, first.identity());
    if (image->open(path)) return image;
    errno = EIO;
    return nullptr;
}

// libewf 20140813 leaks a chunk's buffer on every read that fails; a damaged image makes
// a few such reads (one per damaged chunk), which the sanitizer builds are not to fail on.
#if defined(__SANITIZE_ADDRESS__)
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libewf_chunk_data_initialize\n";
}
extern "C" const char* __lsan_default_options() {
    return "print_suppressions=0";
}
#endif

#else

// This build reads no EWF image: the Linux build does.
std::optional<std::vector<std::string>> ewf_segment_names(const char*) {
    return std::nullopt;
}

std::unique_ptr<byte_source> open_ewf(const char*, const byte_source&) {
    errno = ewf_not_supported;
    return nullptr;
}

#endif

}  // namespace platform
