#pragma once
// Memory the program holds but no longer needs the contents of, and memory it is about to
// fill.

#include <cstddef>

namespace platform {

// The pages wholly inside the range give their memory back to the system now; the range
// stays the caller's, and what it holds afterwards is undefined until written again.
void give_back_pages(void* start, size_t length);

// Asks for the large pages (2 MiB) wholly inside the range to be backed by large pages
// where the system can: a buffer filled from start to end then takes its memory a large
// page at a time, not 4 KiB at a time. Only Linux does so; elsewhere nothing changes.
void prefer_large_pages(void* start, size_t length);

}  // namespace platform
