#pragma once
// Saving a message as a file of its own, under a temporary name first, and dating it.

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/read_message.h"
#include "platform/read.h"

// Writes the message under a temporary name in `folder`, dates it, and gives it its name
// when it is complete: 1 when saved, 2 when the message failed. The store's own file is
// never replaced. A failed .msg conversion throws.
int _save_message(const char* folder, const message_read& message, int mode,
                  const std::optional<platform::file_identity>& store);

// The name a message file has while it is being written: short, and this process's own
// (its id and a number it takes once), so runs side by side never touch each other's.
std::string take_temporary_name(const std::string& name);
// The name the next message saved as `name` takes while it is written.
std::string next_temporary_name(const std::string& name);

// What the outputs of a run may stand in place of; set before the run starts.
struct output_rules {
    // The user said that a file standing under an output's name may be replaced.
    bool replace_existing = false;
    // The run's input files (the stores named, the stores in the folders named, every
    // segment of every image): never replaced, whatever was said.
    std::vector<platform::file_identity> inputs;
};
extern output_rules run_outputs;
// How many outputs were left unwritten because a file stood under their name and replacing
// it was not allowed; the command line counts them from the start of its run.
extern std::atomic<int> refused_replacements;

// Whether a finished file may take the name `path`: nothing stands there, or a regular file
// that is not read-only, is not the store being read (`store`) nor an input of the run, and
// may be replaced (`replace`). errno says why not; a file refused because it exists, or
// because it is an input, is named on standard error.
bool may_take_name(const std::string& path, const std::optional<platform::file_identity>& store,
                   bool replace = run_outputs.replace_existing);

// Makes room for a temporary file of this process: one left there by an earlier process
// of the same id goes. False (errno set) when a link stands there.
bool clear_temporary(const std::string& path);

// Gives the file `name` in `folder` the date of its message.
void _set_message_time(const char* folder, const std::string& name, int64_t date);
