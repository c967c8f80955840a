#pragma once

#include <string>
#include <vector>

#include "platform/image.h"

// Runs the morvale command on its arguments (UTF-8, without the program name) and
// returns the exit status: 0 all stores read and all messages saved, 1 otherwise, 2 for
// a usage error. The stores and images are opened by `open` when given.
int morvale_run(const std::vector<std::string>& args,
                const platform::source_opener* open = nullptr);
