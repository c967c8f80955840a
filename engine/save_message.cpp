// Writing one message: the stored bytes as an .eml file, or an Outlook .msg file of the
// message's item (or made by a registered message library). Either is written
// under a temporary name in the list folder, dated, and renamed onto its own name only when
// it is complete, so a name never holds part of a message, whenever the run stops.

#include "engine/save_message.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <new>

#include "dispatch/com_object.h"
#include "dispatch/dispatch.h"
#include "dispatch/dispids.h"
#include "engine/sys.h"
#include "item/builder.h"
#include "msg/message.h"
#include "platform/fs.h"
#include "platform/text.h"

namespace {

int failed(const char* tag) {
    platform::report_error(tag);
    return 2;
}

// Removes the temporary file of a message that failed, keeping the errno of the failure.
int discard(const std::string& temporary, const char* tag) {
    int error = errno;
    platform::remove_file(temporary.c_str());
    errno = error;
    return failed(tag);
}

// Null when the text is written and the file closed, else the tag of the failed step.
const char* write_and_close(FILE* file, const std::string& text) {
    if (std::fwrite(text.data(), 1, text.size(), file) != text.size()) {
        int write_errno = errno;
        std::fclose(file);
        errno = write_errno;
        return "_save_message (fwrite)";
    }
    // Buffered bytes reach the disk only here: a full disk shows up at the close.
    return std::fclose(file) == 0 ? nullptr : "_save_message (fclose)";
}

// Dates the complete temporary file (`leaf` in `folder`) and gives it the message's name.
int finish(const char* folder, const message_read& message, const std::string& leaf,
           const std::optional<platform::file_identity>& store) {
    std::string temporary = in_folder(folder, leaf);
    _set_message_time(folder, leaf, message.date);
    std::string path = in_folder(folder, message.name);
    if (!may_take_name(path, store) ||
        platform::replace_file(temporary.c_str(), path.c_str()) != 0) {
        return discard(temporary, "_save_message (rename)");
    }
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
    std::string leaf = take_temporary_name(message.name);
    std::string temporary = in_folder(folder, leaf);
    FILE* file =
        clear_temporary(temporary) ? platform::create_new_file(temporary.c_str()) : nullptr;
    if (file == nullptr) return report_unwritable(folder);
    if (const char* tag = write_and_close(file, *message.text)) return discard(temporary, tag);
    return finish(folder, message, leaf, store);
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
bool write_own_msg(const std::string& path, const message_read& message) {
    item::message built =
        item::build_item(*message.text, message.raw.to, message.raw.subject, true);
    std::string failure = msg::write_message_file(built, path);
    if (failure.empty()) return true;
    std::fprintf(stderr, "_save_message (msg): built-in message store: %s\n", failure.c_str());
    std::fflush(stderr);
    return false;
}

int save_msg(const char* folder, const message_read& message,
             const std::optional<platform::file_identity>& store) {
    auto saved = sys_getcwd();
    if (!saved) return failed("_save_message (sys_getcwd)");
    if (folder == nullptr) return failed("_save_message (sys_chdir)");
    std::string leaf = take_temporary_name(message.name);
    std::string temporary = in_folder(folder, leaf);
    if (!clear_temporary(temporary)) return failed("_save_message (msg)");
    try {
        dispatch::initialize_com();
        bool unwritten = false;
        if (auto library = dispatch::create_com_object("Redemption.RDOSession")) {
            // The library writes the folder made wide, a backslash and the name made wide.
            std::u16string target = wide_path(folder) + u"\\" + wide_path(leaf);
            convert_to_msg(*library, target, message, unwritten);
        } else {
            unwritten = !write_own_msg(temporary, message);
        }
        if (unwritten) {
            // What was begun is gone; anything else there is left alone.
            if (platform::entry_at(temporary.c_str()) == platform::entry_kind::file)
                platform::remove_file(temporary.c_str());
            return 2;
        }
    } catch (const std::bad_alloc&) {
        errno = ENOMEM;
        return discard(temporary, "_save_message (msg)");
    } catch (...) {
        platform::remove_file(temporary.c_str());
        throw;
    }
    return finish(folder, message, leaf, store);
}

// Temporary names taken so far by this process.
std::atomic<uint64_t> temporaries_taken{0};

std::string temporary_name(const std::string& name, uint64_t serial) {
    // Every name ends in ".<offset>.<extension>", unique within its folder.
    constexpr size_t number_and_extension = 13;
    size_t keep = std::min(name.size(), number_and_extension);
    return "~morvale." + std::to_string(platform::process_id()) + "." + std::to_string(serial) +
           name.substr(name.size() - keep) + ".tmp";
}

}  // namespace

std::string take_temporary_name(const std::string& name) {
    return temporary_name(name, ++temporaries_taken);
}

std::string next_temporary_name(const std::string& name) {
    return temporary_name(name, temporaries_taken + 1);
}

int _save_message(const char* folder, const message_read& message, int mode,
                  const std::optional<platform::file_identity>& store) {
    // A name that may not be taken is refused before the message is written; it is
    // checked again at the rename.
    if (folder != nullptr && !may_take_name(in_folder(folder, message.name), store))
        return errno == EEXIST ? 2 : failed("_save_message (rename)");
    return mode == 2 ? save_msg(folder, message, store) : save_eml(folder, message, store);
}

output_rules run_outputs;
std::atomic<int> refused_replacements{0};

// The name holds this process's id, so a file there was left by an interrupted run of an
// earlier process of the same id, never by a run still going: it goes. A link there is
// refused, since writing through it would leave the folder; anything else stays, and
// writing the file then fails as on any name that cannot be written.
bool clear_temporary(const std::string& path) {
    platform::entry_kind kind = platform::entry_at(path.c_str());
    if (kind == platform::entry_kind::file) platform::remove_file(path.c_str());
    if (kind != platform::entry_kind::link) return true;
    errno = ELOOP;
    return false;
}

// Links, folders and anything else are left alone.
bool may_take_name(const std::string& path, const std::optional<platform::file_identity>& store,
                   bool replace) {
    switch (platform::entry_at(path.c_str())) {
        case platform::entry_kind::none:
            return true;
        case platform::entry_kind::file:
            break;
        case platform::entry_kind::read_only:
            errno = EACCES;
            return false;
        case platform::entry_kind::directory:
            errno = EISDIR;
            return false;
        case platform::entry_kind::link:
            errno = ELOOP;
            return false;
        case platform::entry_kind::other:
            std::fprintf(stderr, "morvale: %s is not a regular file; it is not replaced\n",
                         platform::printable(path).c_str());
            errno = EEXIST;
            return false;
    }
    std::optional<platform::file_identity> identity = platform::identity_of(path.c_str());
    if (identity && store && identity == store) {
        std::fprintf(stderr, "_save_message (rename): %s is the store being read\n",
                     platform::printable(path).c_str());
        errno = EEXIST;
        return false;
    }
    const std::vector<platform::file_identity>& inputs = run_outputs.inputs;
    if (identity && std::find(inputs.begin(), inputs.end(), *identity) != inputs.end()) {
        std::fprintf(stderr, "morvale: %s is an input of this run; it is not replaced\n",
                     platform::printable(path).c_str());
        errno = EEXIST;
        return false;
    }
    if (!replace) {
        std::fprintf(stderr, "morvale: %s exists; it is not replaced\n",
                     platform::printable(path).c_str());
        ++refused_replacements;
        errno = EEXIST;
        return false;
    }
    return true;
}
