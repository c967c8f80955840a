#include "dispatch/com_object.h"
#include "dispatch/dispatch.h"
#include "msg/store.h"

namespace dispatch {

// A registered ProgID gives its COM object (Windows only); anything else, the built-in
// store, which answers the same calls.
std::shared_ptr<dispatch_object> create_object(const char* progid) {
    if (auto object = create_com_object(progid)) return object;
    return msg::make_message_store();
}

}  // namespace dispatch
