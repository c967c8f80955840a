// Giving a saved message file the message's own date.

#include "engine/save_message.h"
#include "engine/sys.h"
#include "platform/fs.h"

namespace {

// The range of dates every platform's file-time conversion accepts (up to the first
// second of 1 January 3001, 07:59:59 UTC).
constexpr int64_t latest_file_time = 32535244799;

bool accepted(int64_t date) {
    return date >= 0 && date <= latest_file_time;
}

}  // namespace

void _set_message_time(const char* folder, const std::string& name, int64_t date) {
    // Through the whole path first, sparing four changes of directory per message; the
    // steps below run as they stand when that fails.
    if (folder != nullptr && accepted(date) &&
        platform::set_file_times(in_folder(folder, name).c_str(), date) == 0) {
        return;
    }
    auto saved = sys_getcwd();
    if (!saved) {
        platform::report_error("_set_message_time (sys_getcwd)");
        return;
    }
    if (folder == nullptr || sys_chdir(folder) != 0) {
        platform::report_error("_set_message_time (sys_chdir)");
        return;
    }
    // A date the platform refuses leaves the file's times alone, silently.
    if (accepted(date)) platform::set_file_times(name.c_str(), date);
    sys_chdir(saved->c_str());
}
