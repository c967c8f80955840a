#include "platform/version.h"

namespace platform {

const char* program_version() {
    return MORVALE_VERSION;
}

}  // namespace platform
