// EWF images read through libewf, where the build has it.

#include <cerrno>
#include <memory>
#include <mutex>
#include <string>

#include "platform/image.h"

#if defined(MORVALE_HAVE_LIBEWF)
#include <libewf.h>
#endif

namespace platform {

#if defined(MORVALE_HAVE_LIBEWF)

namespace {

// One libewf handle over all the segments; libewf's handle is not to be shared between
// threads, so reads take turns.
class ewf_image : public image_source {
  public:
    ~ewf_image() override {
        if (handle_ == nullptr) return;
        libewf_handle_close(handle_, nullptr);
        libewf_handle_free(&handle_, nullptr);
    }

    bool open(const char* path) {
        char** names = nullptr;
        int count = 0;
        std::string first = path;
        if (libewf_glob(first.c_str(), first.size(), LIBEWF_FORMAT_UNKNOWN, &names, &count,
                        nullptr) != 1)
            return false;
        bool opened = libewf_handle_initialize(&handle_, nullptr) == 1 &&
                      libewf_handle_open(handle_, names, count, LIBEWF_OPEN_READ, nullptr) == 1 &&
                      libewf_handle_get_media_size(handle_, &size_, nullptr) == 1;
        libewf_glob_free(names, count, nullptr);
        return opened;
    }

    long long read_once(uint64_t offset, char* buffer, size_t length) override {
        if (offset >= size_ || length == 0) return 0;
        std::lock_guard<std::mutex> hold(lock_);
        ssize_t got = libewf_handle_read_random(handle_, buffer, length, off64_t(offset), nullptr);
        if (got < 0) {
            errno = EIO;
            return -1;
        }
        return got;
    }

    uint64_t size() const override { return size_; }

  private:
    libewf_handle_t* handle_ = nullptr;
    size64_t size_ = 0;
    std::mutex lock_;
};

}  // namespace

std::shared_ptr<image_source> open_ewf(const char* path) {
    auto image = std::make_shared<ewf_image>();
    if (image->open(path)) return image;
    errno = EIO;
    return nullptr;
}

#else

// This build reads no EWF image: the Linux build does.
std::shared_ptr<image_source> open_ewf(const char*) {
    errno = ewf_not_supported;
    return nullptr;
}

#endif

}  // namespace platform
