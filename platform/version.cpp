#include "platform/version.h"

#include "commit.h"  // made by the build: MORVALE_COMMIT

namespace platform {

const char* program_version() {
    return MORVALE_VERSION;
}

const char* program_commit() {
    return MORVALE_COMMIT;
}

// The text a report needs to name the exact program that made it.
std::string version_text() {
    std::string text = program_version();
    if (*program_commit() != '\0') text += std::string(" (commit ") + program_commit() + ")";
    return text;
}

std::string tool_version() {
    return "morvale " + version_text();
}

}  // namespace platform
