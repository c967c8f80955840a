#pragma once
// The members the .msg writer calls on the message library, and the values it passes them.

#include <cstdint>

namespace dispatch::dispid {

// The session (the root object).
constexpr int32_t session_logon = 4;           // method, six empty arguments
constexpr int32_t session_default_folder = 7;  // method (folder kind) -> folder
constexpr int32_t inbox_folder = 6;            // the folder kind the writer asks for

// The folder and its items.
constexpr int32_t folder_items = 17;  // property get -> items
constexpr int32_t items_add = 4;      // method (item kind) -> item
constexpr int32_t mail_item = 0;      // the item kind the writer asks for

// The item.
constexpr int32_t item_subject = 0;   // property put, string
constexpr int32_t item_text = 11;     // property put, string: the whole message
constexpr int32_t item_to = 64;       // property put, string
constexpr int32_t item_sent = 65;     // property put, boolean
constexpr int32_t item_save_as = 72;  // method (path, file type): writes the file
constexpr int32_t msg_file_type = 3;  // the file type of an Outlook message file

}  // namespace dispatch::dispid
