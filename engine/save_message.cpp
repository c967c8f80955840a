// Writing one message: the stored bytes as an .eml file, or an Outlook .msg file made by
// the late-bound message store.

#include <cerrno>
#include <cstdio>

#include "dispatch/dispatch.h"
#include "dispatch/dispids.h"
#include "engine/internal.h"
#include "platform/fs.h"
#include "platform/text.h"

namespace {

int failed(const char* tag) {
    platform::report_error(tag);
    return 2;
}

int write_and_close(FILE* file, const std::string& text) {
    if (std::fwrite(text.data(), 1, text.size(), file) != text.size()) {
        int write_errno = errno;
        std::fclose(file);
        errno = write_errno;
        return failed("_save_message (fwrite)");
    }
    // Buffered bytes reach the disk only here: a full disk shows up at the close.
    if (std::fclose(file) != 0) return failed("_save_message (fclose)");
    return 1;
}

int save_eml(const char* folder, const std::string& text, const std::string& name) {
    // The file is opened through its whole path first: the same file as below, without
    // four changes of directory per message. When that fails, the steps below run as
    // they stand, so every failure is reported by the step that meets it.
    if (folder != nullptr) {
        if (FILE* file = platform::open_for_overwrite(in_folder(folder, name).c_str())) return write_and_close(file, text);
    }
    auto saved = sys_getcwd();
    if (!saved) return failed("_save_message (sys_getcwd)");
    if (folder == nullptr || sys_chdir(folder) != 0) return failed("_save_message (sys_chdir)");
    FILE* file = platform::open_for_overwrite(name.c_str());
    int open_errno = errno;
    sys_chdir(saved->c_str());
    errno = open_errno;
    if (file == nullptr) return failed("_save_message (fopen)");
    return write_and_close(file, text);
}

std::u16string wide_path(const std::string& path) { return platform::path_to_utf16(path); }

using dispatch::variant;
namespace dispid = dispatch::dispid;

// The calls that make a .msg file, in the order the message store expects them; the
// subject and receiver are the message's raw values. False when the message store cannot
// be created; a failing call throws.
bool convert_to_msg(const char* folder, const std::string& text, const std::string& name,
                    const hdr_raw_fields& raw) {
    dispatch::initialize_com();
    auto root = dispatch::create_object("Redemption.RDOSession");
    if (!root) return false;
    root->invoke(dispid::session_logon, dispatch::method, std::vector<variant>(6));
    auto msg_folder = root->invoke(dispid::session_default_folder, dispatch::method,
                                   {variant::make_i4(dispid::inbox_folder)})
                          .object;
    auto items = msg_folder->invoke(dispid::folder_items, dispatch::property_get, {}).object;
    auto item =
        items->invoke(dispid::items_add, dispatch::method, {variant::make_i4(dispid::mail_item)})
            .object;
    item->invoke(dispid::item_to, dispatch::property_put, {variant::make_string(raw.to)});
    item->invoke(dispid::item_subject, dispatch::property_put, {variant::make_string(raw.subject)});
    item->invoke(dispid::item_sent, dispatch::property_put, {variant::make_bool(true)});
    item->invoke(dispid::item_text, dispatch::property_put,
                 {variant::make_string(platform::ansi_to_utf16(text))});
    std::u16string path = wide_path(folder) + u"\\" + wide_path(name);
    item->invoke(dispid::item_save_as, dispatch::method,
                 {variant::make_string(path), variant::make_i4(dispid::msg_file_type)});
    return true;
}

int save_msg(const char* folder, const std::string& text, const std::string& name,
             const hdr_raw_fields& raw) {
    auto saved = sys_getcwd();
    if (!saved) return failed("_save_message (sys_getcwd)");
    if (folder == nullptr) return failed("_save_message (sys_chdir)");
    if (!convert_to_msg(folder, text, name, raw)) {
        errno = ENOENT;
        return failed("_save_message (msg)");
    }
    return 1;
}

}  // namespace

int _save_message(const char* folder, const std::string& text, const std::string& name, int mode,
                  const hdr_raw_fields& raw) {
    return mode == 2 ? save_msg(folder, text, name, raw) : save_eml(folder, text, name);
}
