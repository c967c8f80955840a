#pragma once
// Memory the program is about to fill.

#include <cstddef>
#include <utility>

namespace platform {

// Memory for buffers that are filled and read over and over. A fresh page costs a fault
// when first written, and in some virtual machines a fault costs as much as reading a few
// megabytes. So on Linux a buffer of half a mebibyte or more starts on a large-page
// boundary and takes whole large pages (2 MiB), each backed by one large page where the
// system can. Smaller buffers, and every buffer elsewhere, come from the heap. What the
// memory holds is undefined until written. Throws std::bad_alloc.
void* allocate_pages(size_t bytes);
// Frees what allocate_pages(bytes) gave, with the same `bytes`.
void free_pages(void* start, size_t bytes);

// One such buffer, freed with its owner.
class page_memory {
  public:
    page_memory() = default;
    explicit page_memory(size_t bytes)
        : data_(static_cast<unsigned char*>(allocate_pages(bytes))), size_(bytes) {}
    ~page_memory() {
        if (data_ != nullptr) free_pages(data_, size_);
    }
    page_memory(page_memory&& other) noexcept { swap(other); }
    page_memory& operator=(page_memory&& other) noexcept {
        swap(other);
        return *this;
    }
    page_memory(const page_memory&) = delete;
    page_memory& operator=(const page_memory&) = delete;

    unsigned char* data() const { return data_; }
    size_t size() const { return size_; }

  private:
    void swap(page_memory& other) noexcept {
        std::swap(data_, other.data_);
        std::swap(size_, other.size_);
    }

    unsigned char* data_ = nullptr;
    size_t size_ = 0;
};

// The same memory for containers: std::vector<T, page_allocator<T>> grows into large
// pages once it is large.
template <typename T>
struct page_allocator {
    using value_type = T;
    page_allocator() = default;
    template <typename U>
    page_allocator(const page_allocator<U>&) {}
    T* allocate(size_t count) { return static_cast<T*>(allocate_pages(count * sizeof(T))); }
    void deallocate(T* start, size_t count) { free_pages(start, count * sizeof(T)); }
    template <typename U>
    bool operator==(const page_allocator<U>&) const {
        return true;
    }
    template <typename U>
    bool operator!=(const page_allocator<U>&) const {
        return false;
    }
};

}  // namespace platform
