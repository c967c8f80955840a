#pragma once
// Writing an output of a run: its folders made without following a link, each file under a
// temporary name of this process beside the file's own name, renamed onto it only when complete, so
// a name never holds part of a file however the run stops, and two runs into one folder never touch
// each other's files; and the rules of what an output may stand in place of.

#include <atomic>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "platform/read.h"

namespace platform {

// Makes the folders of `relative` (names separated by '/', on Windows by '\\' too), each
// inside the one before, starting in the folder `base`, which must exist; folders already
// there are taken as they are. No link is followed below `base`: a link or anything but a
// folder on the way ends it (-1, errno ELOOP or ENOTDIR), and so does a name "..". 0 on
// success, -1 with errno set on failure.
int make_folders_below(const char* base, const std::string& relative);

// What the outputs of a run may stand in place of; set before the run starts.
struct output_rules {
    // The user said that a file standing under an output's name may be replaced.
    bool replace_existing = false;
    // The run's input files (the stores named, the stores in the folders named, every
    // segment of every image): never replaced, whatever was said.
    std::vector<file_identity> inputs;
};
extern output_rules run_outputs;
// How many outputs were left unwritten because a file stood under their name and replacing
// it was not allowed; the command line counts them from the start of its run.
extern std::atomic<int> refused_replacements;

// Whether a finished file may take the name `path`: nothing stands there, or a regular file
// that is not read-only, is not the store being read (`store`) nor an input of the run, and
// may be replaced (`replace`). errno says why not; a file refused because it exists, or
// because it is an input, is named on standard error.
bool may_take_name(const std::string& path, const std::optional<file_identity>& store,
                   bool replace = run_outputs.replace_existing);

// The name the next file written as `name` takes while it is written: short, and this
// process's own (its id and a number it takes once), ending in the last bytes of `name`.
std::string next_temporary_name(const std::string& name);

// One file written under a temporary name and renamed onto its name when complete. What
// is not completed is removed when the object goes.
class output_file {
  public:
    // How the name is checked at the rename: as may_take_name checks it.
    struct name_rules {
        std::optional<file_identity> store;
        bool replace = run_outputs.replace_existing;
    };

    output_file() = default;
    ~output_file() { discard(); }
    output_file(const output_file&) = delete;
    output_file& operator=(const output_file&) = delete;

    // Takes a temporary name for the file `path` (UTF-8) in its folder, ending as `name`
    // ends, and clears what an earlier process of this id left under it; false (errno set)
    // when a link stands there.
    bool reserve(const std::string& path, const std::string& name);
    // Creates the temporary file for writing; false (errno set) when it cannot be made.
    // A writer of its own may write the file at temporary() instead.
    bool create();
    FILE* stream() const { return stream_; }
    // Closes the temporary file; false (errno set) when a write or the close failed.
    bool close();
    // Renames the closed temporary file onto its name, when `rules` (if given) let it take
    // the name; false (errno set) otherwise: the temporary file is removed. Without rules
    // the name is the run's own, checked before the run began.
    bool complete(const name_rules* rules);
    // Closes and removes the temporary file of a file not completed, keeping errno; only a
    // regular file is removed, whatever else stands there is left alone.
    void discard();

    const std::string& path() const { return path_; }
    const std::string& folder() const { return folder_; }
    // The temporary file's name in its folder, and its path.
    const std::string& leaf() const { return leaf_; }
    std::string temporary() const { return folder_ + "/" + leaf_; }

  private:
    FILE* stream_ = nullptr;
    std::string path_, folder_, leaf_;  // the name, its folder, the temporary file's name
};

}  // namespace platform
