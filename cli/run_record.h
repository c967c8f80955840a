#pragma once
// The record of a whole run, for a report: the program and its version, the command, when
// it ran (UTC), each input's path, size and, when asked, digests (of an image: of each of
// its files and of its data, taken as the run reads it, and the digests an EWF image
// stores), and for every store and carved store how many messages and fragments it gave
// and how many were short of whole.

#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "engine/engine.h"
#include "platform/image.h"

class run_record {
  public:
    // Starts the record now. `args` are the arguments after the program's name.
    explicit run_record(const std::vector<std::string>& args);
    run_record(const run_record&) = delete;
    run_record& operator=(const run_record&) = delete;
    // Adds an input as given: its size, the size of the whole image when it is an `image`
    // and, with `hash`, the MD5 and SHA-256 of its file (read whole now; a failure is said
    // on standard error and leaves them out). Of an image, `hash` asks for its segment
    // files and its data too: those of a raw image are taken as the run reads it, those of
    // an EWF image's compressed files by reading them now.
    void add_input(const std::string& path, bool hash, bool image);
    // What opens the run's inputs: `open`, with every image it opens digested as the run
    // reads it once an image's digests are asked for.
    platform::source_opener reading(platform::source_opener open);
    // Counts a chain in its store's figures.
    void count(const chain_record& record);
    // The record; with `exit_status` it is complete: its end time is now.
    nlohmann::ordered_json json(std::optional<int> exit_status) const;

  private:
    struct figures {
        int messages = 0, fragments = 0, whole = 0;
        int not_in_index = 0;  // messages of a store with an index that it does not name
        int missing = 0;       // messages its index names whose blocks the scan did not find
        integrity_counts integrity;
    };
    std::vector<std::string> args_;
    int64_t start_;
    nlohmann::ordered_json inputs_ = nlohmann::ordered_json::array();
    // The images whose digests the run's reading gives: their place in inputs_ and files.
    struct image_input {
        size_t input = 0;
        std::vector<platform::image_segment> segments;
        std::vector<std::pair<std::string, std::string>> stored;  // an EWF image's own digests
        std::vector<std::optional<platform::digests>> read_now;   // of files not placed whole
    };
    std::vector<image_input> images_;
    std::map<std::string, platform::image_reading> readings_;  // by path, the last one
    nlohmann::ordered_json image_fields(const image_input& image) const;
    // By store as given and carved start (none for a store file), in the order first met.
    std::vector<std::pair<std::pair<std::string, std::optional<uint64_t>>, figures>> stores_;
};
