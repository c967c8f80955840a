#include "platform/memory.h"

#include <cstdint>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace platform {

void give_back_pages(void* start, size_t length) {
#ifdef _WIN32
    SYSTEM_INFO system;
    GetSystemInfo(&system);
    uintptr_t page = system.dwPageSize;
#else
    uintptr_t page = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
#endif
    uintptr_t first = (reinterpret_cast<uintptr_t>(start) + page - 1) / page * page;
    uintptr_t end = (reinterpret_cast<uintptr_t>(start) + length) / page * page;
    if (end <= first) return;
    auto* pages = reinterpret_cast<void*>(first);
#ifdef _WIN32
    // Reset pages are not written out; unlocking pages that are not locked takes them out
    // of the working set.
    VirtualAlloc(pages, end - first, MEM_RESET, PAGE_READWRITE);
    VirtualUnlock(pages, end - first);
#else
    madvise(pages, end - first, MADV_DONTNEED);
#endif
}

void prefer_large_pages(void* start, size_t length) {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    constexpr uintptr_t large_page = uintptr_t(2) << 20;
    uintptr_t first = (reinterpret_cast<uintptr_t>(start) + large_page - 1) & ~(large_page - 1);
    uintptr_t end = (reinterpret_cast<uintptr_t>(start) + length) & ~(large_page - 1);
    if (end > first) madvise(reinterpret_cast<void*>(first), end - first, MADV_HUGEPAGE);
#else
    (void)start;
    (void)length;
#endif
}

}  // namespace platform
