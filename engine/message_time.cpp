// Giving a saved message file the message's own date.

#include "engine/internal.h"
#include "platform/fs.h"

namespace {

// The range of dates every platform's file-time conversion accepts (up to the first
// second of 1 January 3001, 07:59:59 UTC).
constexpr int64_t latest_file_time = 32535244799;

}  // namespace

void _set_message_time(const char* folder, const std::string& name, int64_t date) {
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
    if (date >= 0 && date <= latest_file_time) platform::set_file_times(name.c_str(), date);
    sys_chdir(saved->c_str());
}
