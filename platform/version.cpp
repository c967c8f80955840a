#include "platform/version.h"

#include "commit.h"  // made by the build: MORVALE_COMMIT

namespace platform {

const char* program_version() {
    return MORVALE_VERSION;
}

const char* program_commit() {
    return MORVALE_COMMIT;
}

// The version with the commit where there is one: the text a report needs to name the exact
// program that made it.
std::string tool_version() {
    std::string text = std::string("morvale ") + program_version();
    if (*program_commit() != '\0') text += std::string(" (commit ") + program_commit() + ")";
    return text;
}

}  // namespace platform
