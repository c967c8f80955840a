#pragma once
// A file of a collection that takes its name only when complete: written under a temporary
// name of the run's own beside its name, dated, and renamed onto the name under the rules
// of message files; each failed step is said on standard error. One that is not completed
// leaves nothing behind.

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

#include "platform/output_file.h"

class whole_file {
  public:
    // Starts the file `path` (UTF-8), "<extension>" naming its kind in the temporary name;
    // false, said on standard error, when the temporary file cannot be made or nothing may
    // take the name: a file there is replaced only when `replace` says so, and never an
    // input of the run.
    bool open(const std::string& path, const std::string& extension,
              bool replace = platform::run_outputs.replace_existing);
    FILE* stream() const { return file_.stream(); }
    const std::string& path() const { return file_.path(); }

    // Closes the file, dates it (when a date is given) and renames it onto its name; false,
    // said on standard error, when any step fails: the temporary file is removed.
    bool complete(std::optional<int64_t> date);
    // Closes and removes the temporary file of a file not completed.
    void discard() { file_.discard(); }

  private:
    bool fail(const char* what);

    platform::output_file file_;
    std::string path_;
    bool replace_ = false;  // a file standing under the name may be replaced
};
