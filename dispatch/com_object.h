#pragma once
// A COM object reached through IDispatch (Windows). The caller has initialised COM.

#include <memory>

#include "dispatch/dispatch.h"

namespace dispatch {

// The running instance of a registered ProgID; null when the ProgID is not registered or
// the object cannot be created (always null on other systems).
std::shared_ptr<dispatch_object> create_com_object(const char* progid);

}  // namespace dispatch
