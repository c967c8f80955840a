#pragma once
// A COM object reached through IDispatch (Windows). The caller has initialised COM.

#include <memory>

#include "platform/dispatch.h"

namespace msg {

// The running instance of a registered ProgID; null when the ProgID is not registered or
// the object cannot be created (always null on other systems).
std::shared_ptr<platform::dispatch_object> create_com_object(const char* progid);

}  // namespace msg
