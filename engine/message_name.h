#pragma once
// The file name of a saved message.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// The file name of a message: sender, receiver, subject, the head block's offset and the
// extension of the run mode, fitted to what file systems accept.
std::string message_file_name(const std::optional<std::string>& from,
                              const std::optional<std::string>& to,
                              const std::optional<std::string>& subject, uint32_t offset, int mode);

// The text with each character no file system takes in a name (controls and the nine that
// Windows forbids) made one '_'; so is each byte outside valid UTF-8.
std::string replace_forbidden(std::string_view text);

// A folder name made of a name someone chose (a folder's display name in the store's folder
// tree, as UTF-8): the characters no file system takes become '_', a Windows device name
// gets a leading '_', the name is cut to 255 bytes of whole characters, and it ends as
// fitted_folder_name() ends it.
std::string safe_folder_name(const std::string& name);

// A folder name without the trailing points and blanks Windows would drop, so that it is
// the same on every system; "_" when nothing is left, so that it is never "." or "..".
std::string fitted_folder_name(std::string name);
