#pragma once
// The built-in message store: late-bound objects that answer the calls of the .msg writer
// and write real Outlook message files.
//
//   root   4 (method, six empty arguments)  log on: nothing to do
//          7 (method, 6)                    the default folder
//   folder 17 (property get)                its items
//   items  4 (method, 0)                    a new mail item
//   item   64 To, 0 Subject, 65 sent flag, 11 the whole message text (property puts)
//          72 (method, path, 3)             writes the .msg file

#include <memory>

#include "platform/dispatch.h"

namespace msg {

std::shared_ptr<platform::dispatch_object> make_message_store();

}  // namespace msg
