#pragma once
// The built-in message store: late-bound objects that answer the calls of the .msg writer
// (dispatch/dispids.h names them) and write real Outlook message files.

#include <memory>

#include "dispatch/dispatch.h"

namespace msg {

std::shared_ptr<dispatch::dispatch_object> make_message_store();

}  // namespace msg
