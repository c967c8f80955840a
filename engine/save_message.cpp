// Writing one message: the stored bytes as an .eml file, or an Outlook .msg file made by
// the late-bound message store.

#include <cerrno>
#include <cstdio>

#include "engine/internal.h"
#include "header/summary.h"
#include "platform/dispatch.h"
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

using platform::variant;

// The calls that make a .msg file, in the order the message store expects them. False
// when the message store cannot be created; a failing call throws.
bool convert_to_msg(const char* folder, const std::string& text, const std::string& name) {
    platform::initialize_com();
    auto root = platform::create_object("Redemption.RDOSession");
    if (!root) return false;
    root->invoke(4, platform::method, std::vector<variant>(6));
    auto msg_folder = root->invoke(7, platform::method, {variant::make_i4(6)}).object;
    auto items = msg_folder->invoke(17, platform::property_get, {}).object;
    auto item = items->invoke(4, platform::method, {variant::make_i4(0)}).object;
    item->invoke(64, platform::property_put, {variant::make_string(msg_to)});
    item->invoke(0, platform::property_put, {variant::make_string(msg_subject)});
    item->invoke(65, platform::property_put, {variant::make_bool(true)});
    item->invoke(11, platform::property_put, {variant::make_string(platform::ansi_to_utf16(text))});
    std::u16string path = wide_path(folder) + u"\\" + wide_path(name);
    item->invoke(72, platform::method, {variant::make_string(path), variant::make_i4(3)});
    return true;
}

int save_msg(const char* folder, const std::string& text, const std::string& name) {
    auto saved = sys_getcwd();
    if (!saved) return failed("_save_message (sys_getcwd)");
    if (folder == nullptr) return failed("_save_message (sys_chdir)");
    if (!convert_to_msg(folder, text, name)) {
        errno = ENOENT;
        return failed("_save_message (msg)");
    }
    return 1;
}

}  // namespace

int _save_message(const char* folder, const std::string& text, const std::string& name, int mode) {
    return mode == 2 ? save_msg(folder, text, name) : save_eml(folder, text, name);
}
