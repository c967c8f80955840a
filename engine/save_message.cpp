// Writing one message: the stored bytes as an .eml file, or an Outlook .msg file of the
// message's item (or made by a registered message library). Either is written
// under a temporary name in the list folder, dated, and renamed onto its own name only when
// it is complete, so a name never holds part of a message, whenever the run stops.

#include "engine/save_message.h"

#include <cerrno>
#include <cstdio>
#include <new>

#include "dispatch/com_object.h"
#include "dispatch/dispatch.h"
#include "dispatch/dispids.h"
#include "engine/store_state.h"
#include "engine/sys.h"
#include "msg/message.h"
#include "platform/fs.h"
#include "platform/output_file.h"
#include "platform/text.h"

namespace {

int failed(const char* tag) {
    platform::report_error(tag);
    return 2;
}

// Removes the temporary file of a message that failed, keeping the errno of the failure.
int discard(platform::output_file& file, const char* tag) {
    file.discard();
    return failed(tag);
}

// Dates the complete temporary file and gives it the message's name.
int finish(platform::output_file& file, const message_read& message,
           const std::optional<platform::file_identity>& store) {
    _set_message_time(file.folder().c_str(), file.leaf(), message.date);
    platform::output_file::name_rules rules{store};
    if (!file.complete(&rules)) return failed("_save_message (rename)");
    return 1;
}

// The folder could not be written in: the steps of the working-directory way tell which
// one fails, so the report names it.
int report_unwritable(const char* folder) {
    int error = errno;
    auto saved = sys_getcwd();
    if (!saved) return failed("_save_message (sys_getcwd)");
    if (folder == nullptr || sys_chdir(folder) != 0) return failed("_save_message (sys_chdir)");
    sys_chdir(saved->c_str());
    errno = error;
    return failed("_save_message (fopen)");
}

int save_eml(const char* folder, const message_read& message,
             const std::optional<platform::file_identity>& store) {
    if (folder == nullptr) return report_unwritable(folder);
    platform::output_file file;
    if (!file.reserve(in_folder(folder, message.name), message.name) || !file.create())
        return report_unwritable(folder);
    const std::string& text = *message.text;
    if (std::fwrite(text.data(), 1, text.size(), file.stream()) != text.size())
        return discard(file, "_save_message (fwrite)");
    if (!file.close()) return discard(file, "_save_message (fclose)");
    return finish(file, message, store);
}

std::u16string wide_path(const std::string& path) {
    return platform::path_to_utf16(path);
}

using dispatch::variant;
namespace dispid = dispatch::dispid;

// The calls that make a .msg file through a registered message library (`root`), in the
// order it expects them; the subject and receiver are the message's raw values, the text
// goes over as the ANSI code page reads it (up to its first NUL: that is what such a library
// takes), and the library writes the file at `path`. A failing call throws, except the
// last: the file that cannot be written (a full disk, a name that cannot be made) fails
// this message only, said with the library's words, and sets `unwritten`.
void convert_to_msg(dispatch::dispatch_object& root, const std::u16string& path,
                    const message_read& message, bool& unwritten) {
    root.invoke(dispid::session_logon, dispatch::method, std::vector<variant>(6));
    auto msg_folder = root.invoke(dispid::session_default_folder, dispatch::method,
                                  {variant::make_i4(dispid::inbox_folder)})
                          .object;
    auto items = msg_folder->invoke(dispid::folder_items, dispatch::property_get, {}).object;
    auto item =
        items->invoke(dispid::items_add, dispatch::method, {variant::make_i4(dispid::mail_item)})
            .object;
    item->invoke(dispid::item_to, dispatch::property_put,
                 {variant::make_string(platform::ansi_to_utf16(message.raw.to))});
    item->invoke(dispid::item_subject, dispatch::property_put,
                 {variant::make_string(platform::ansi_to_utf16(message.raw.subject))});
    item->invoke(dispid::item_sent, dispatch::property_put, {variant::make_bool(true)});
    // The text goes over without a copy: a braced list would copy a string of the
    // message's size.
    std::vector<variant> text;
    text.push_back(variant::make_string(platform::ansi_to_utf16(*message.text)));
    item->invoke(dispid::item_text, dispatch::property_put, std::move(text));
    try {
        item->invoke(dispid::item_save_as, dispatch::method,
                     {variant::make_string(path), variant::make_i4(dispid::msg_file_type)});
    } catch (const dispatch::dispatch_error& failure) {
        std::fprintf(stderr, "_save_message (msg): %s\n", failure.what());
        std::fflush(stderr);
        unwritten = true;
    }
}

// The .msg file at `path`, its item made from every byte of the message, with the raw
// receivers and subject the library would be given (the PST's item is made the same way).
// False, said, when the file cannot be written.
bool write_own_msg(const std::string& path, const message_read& message,
                   const dbx_index_entry* indexed) {
    item::message built = _message_item(*message.text, message.fragment, &message.raw);
    if (indexed) item::set_message_state(built, item_state_of(*indexed));
    std::string failure = msg::write_message_file(built, path);
    if (failure.empty()) return true;
    std::fprintf(stderr, "_save_message (msg): built-in message store: %s\n", failure.c_str());
    std::fflush(stderr);
    return false;
}

int save_msg(const char* folder, const message_read& message,
             const std::optional<platform::file_identity>& store, const dbx_index_entry* indexed) {
    auto saved = sys_getcwd();
    if (!saved) return failed("_save_message (sys_getcwd)");
    if (folder == nullptr) return failed("_save_message (sys_chdir)");
    platform::output_file file;
    if (!file.reserve(in_folder(folder, message.name), message.name))
        return failed("_save_message (msg)");
    try {
        dispatch::initialize_com();
        bool unwritten = false;
        if (auto library = dispatch::create_com_object("Redemption.RDOSession")) {
            // The library writes the folder made wide, a backslash and the name made wide.
            std::u16string target = wide_path(folder) + u"\\" + wide_path(file.leaf());
            convert_to_msg(*library, target, message, unwritten);
        } else {
            unwritten = !write_own_msg(file.temporary(), message, indexed);
        }
        if (unwritten) return 2;  // what was begun goes with `file`; anything else stays
    } catch (const std::bad_alloc&) {
        errno = ENOMEM;
        return discard(file, "_save_message (msg)");
    }
    return finish(file, message, store);
}

}  // namespace

int _save_message(const char* folder, const message_read& message, int mode,
                  const std::optional<platform::file_identity>& store,
                  const dbx_index_entry* indexed) {
    // A name that may not be taken is refused before the message is written; it is
    // checked again at the rename.
    if (folder != nullptr && !platform::may_take_name(in_folder(folder, message.name), store))
        return errno == EEXIST ? 2 : failed("_save_message (rename)");
    return mode == 2 ? save_msg(folder, message, store, indexed) : save_eml(folder, message, store);
}
