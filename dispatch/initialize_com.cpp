#include "dispatch/dispatch.h"

#ifdef _WIN32
#include <objbase.h>
#endif

namespace dispatch {

// Called once per message; COM counts the calls, and a repeated call on the same thread
// only answers S_FALSE.
void initialize_com() {
#ifdef _WIN32
    CoInitialize(nullptr);
#endif
}

}  // namespace dispatch
