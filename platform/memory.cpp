#include "platform/memory.h"

#include <cstdint>
#include <cstdlib>
#include <new>

#ifndef _WIN32
#include <sys/mman.h>
#endif

namespace platform {

namespace {

#ifndef _WIN32
constexpr size_t large_page = size_t(2) << 20;
constexpr size_t mapped_least = large_page / 4;

size_t whole_large_pages(size_t bytes) {
    return (bytes + large_page - 1) / large_page * large_page;
}

// `bytes` (whole large pages) mapped on a large-page boundary: more is mapped than asked
// for, and the ends that miss the boundary are given back.
void* map_on_large_pages(size_t bytes) {
    void* mapped = mmap(nullptr, bytes + large_page, PROT_READ | PROT_WRITE,
                        MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED) throw std::bad_alloc();
    auto start = reinterpret_cast<uintptr_t>(mapped);
    uintptr_t aligned = (start + large_page - 1) & ~uintptr_t(large_page - 1);
    if (aligned > start) munmap(mapped, aligned - start);
    size_t after = large_page - (aligned - start);
    if (after > 0) munmap(reinterpret_cast<void*>(aligned + bytes), after);
#ifdef MADV_HUGEPAGE
    madvise(reinterpret_cast<void*>(aligned), bytes, MADV_HUGEPAGE);  // one fault per large page
#endif
    return reinterpret_cast<void*>(aligned);
}
#endif

}  // namespace

void* allocate_pages(size_t bytes) {
#ifndef _WIN32
    if (bytes >= mapped_least) return map_on_large_pages(whole_large_pages(bytes));
#endif
    void* start = std::malloc(bytes == 0 ? 1 : bytes);
    if (start == nullptr) throw std::bad_alloc();
    return start;
}

void free_pages(void* start, size_t bytes) {
#ifndef _WIN32
    if (bytes >= mapped_least) {
        munmap(start, whole_large_pages(bytes));
        return;
    }
#endif
    std::free(start);
}

}  // namespace platform
