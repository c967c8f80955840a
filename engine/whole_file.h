#pragma once
// A file that takes its name only when complete: written under a temporary name of the
// run's own beside its name, dated, and renamed onto the name under the rules of message
// files. One that is not completed leaves nothing behind.

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

#include "engine/save_message.h"

class whole_file {
  public:
    whole_file() = default;
    ~whole_file() { discard(); }
    whole_file(const whole_file&) = delete;
    whole_file& operator=(const whole_file&) = delete;

    // Starts the file `path` (UTF-8), "<extension>" naming its kind in the temporary name;
    // false, said on standard error, when the temporary file cannot be made or nothing may
    // take the name: a file there is replaced only when `replace` says so, and never an
    // input of the run.
    bool open(const std::string& path, const std::string& extension,
              bool replace = run_outputs.replace_existing);
    FILE* stream() const { return stream_; }
    const std::string& path() const { return path_; }

    // Closes the file, dates it (when a date is given) and renames it onto its name; false,
    // said on standard error, when any step fails: the temporary file is removed.
    bool complete(std::optional<int64_t> date);
    // Closes and removes the temporary file of a file not completed.
    void discard();

  private:
    bool fail(const char* what);

    FILE* stream_ = nullptr;
    std::string path_, folder_, leaf_;  // the name, its folder, the temporary file's name
    bool replace_ = false;              // a file standing under the name may be replaced
};
