#pragma once
// The program's version, as the build sets it once for every program and record.

namespace platform {

// "1.0.0.1": the project's version.
const char* program_version();

}  // namespace platform
