#include "dispatch/com_object.h"
#include "dispatch/dispatch.h"

namespace dispatch {

// A registered ProgID gives its COM object (Windows only); anything else, the caller's own
// object, which answers the same calls.
std::shared_ptr<dispatch_object> create_object(const char* progid, object_maker fallback) {
    if (auto object = create_com_object(progid)) return object;
    return fallback != nullptr ? fallback() : nullptr;
}

}  // namespace dispatch
