#pragma once
// The program's version, as the build sets it once for every program and record.

#include <string>

namespace platform {

// "1.1.0": the project's version.
const char* program_version();

// The commit the program was built from ("abc1234", "abc1234, modified"), empty when it was
// built outside a git checkout of its own.
const char* program_commit();

// The version with the commit where there is one: "1.1.0 (commit abc1234)".
std::string version_text();
// How records name the program: "morvale 1.1.0", or "morvale 1.1.0 (commit abc1234)".
std::string tool_version();

}  // namespace platform
