#pragma once
// What several benchmarks need: quiet standard output, stores written to disk, and
// child processes measured for time and peak memory.

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// Standard output goes to /dev/null while the object lives: progress lines are not what
// is being measured.
class quiet_stdout {
  public:
    quiet_stdout();
    ~quiet_stdout();
    quiet_stdout(const quiet_stdout&) = delete;
    quiet_stdout& operator=(const quiet_stdout&) = delete;

  private:
    int saved_;
};

// Closes a freshly written file once it is on disk, so that writing it back does not run
// alongside the timings. False when anything failed.
bool settle(FILE* out);

// A realistic generated store of `size` bytes; with `index`, with the file header and the
// index Outlook Express kept.
void write_realistic_store(const std::string& path, uint64_t size, bool index = false);

struct child_usage {
    double seconds;
    long peak_kib;
    double processor_seconds;  // user and system time of the child and its threads
};

// Runs a program with its standard output thrown away and waits for it; throws when it
// fails. `args[0]` is the program's path.
child_usage run_child(const std::vector<std::string>& args);
