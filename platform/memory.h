#pragma once
// Memory the program holds but no longer needs the contents of.

#include <cstddef>

namespace platform {

// The pages wholly inside the range give their memory back to the system now; the range
// stays the caller's, and what it holds afterwards is undefined until written again.
void give_back_pages(void* start, size_t length);

}  // namespace platform
