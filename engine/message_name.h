#pragma once
// The file name of a saved message.

#include <cstdint>
#include <optional>
#include <string>

// The file name of a message: sender, receiver, subject, the head block's offset and the
// extension of the run mode, fitted to what file systems accept.
std::string message_file_name(const std::optional<std::string>& from,
                              const std::optional<std::string>& to,
                              const std::optional<std::string>& subject, uint32_t offset, int mode);
