#pragma once
// The record of a whole run, for a report: the program and its version, the command, when
// it ran (UTC), each input's path, size and, when asked, digests, and for every store and
// carved store how many messages and fragments it gave and how many were short of whole.

#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "engine/engine.h"

class run_record {
  public:
    // Starts the record now. `args` are the arguments after the program's name.
    explicit run_record(const std::vector<std::string>& args);
    // Adds an input as given: its size, the size of the whole image when it is an `image`
    // and, with `hash`, the MD5 and SHA-256 of its file (read whole now; a failure is said
    // on standard error and leaves them out).
    void add_input(const std::string& path, bool hash, bool image);
    // Counts a chain in its store's figures.
    void count(const chain_record& record);
    // The record; with `exit_status` it is complete: its end time is now.
    nlohmann::ordered_json json(std::optional<int> exit_status) const;

  private:
    struct figures {
        int messages = 0, fragments = 0, whole = 0;
        integrity_counts integrity;
    };
    std::vector<std::string> args_;
    int64_t start_;
    nlohmann::ordered_json inputs_ = nlohmann::ordered_json::array();
    // By store as given and carved start (none for a store file), in the order first met.
    std::vector<std::pair<std::pair<std::string, std::optional<uint64_t>>, figures>> stores_;
};
