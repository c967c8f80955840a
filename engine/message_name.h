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

// A name a message gives a file (an attachment's), as a file may take it: the characters no
// file system takes made '_', the dots and blanks Windows drops at the end dropped, a device
// name led by '_', at most 255 bytes of whole characters (the extension kept), and
// "attachment" for a name that leaves nothing.
std::string fitted_file_name(const std::string& name);
