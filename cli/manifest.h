#pragma once
// The manifest of a run: one record per chain, written and flushed as the run goes, so
// that a run that stops leaves a valid manifest of what it did. CSV (RFC 4180, UTF-8,
// with a header row) or JSON Lines, by the file's extension.

#include <cstdio>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "engine/engine.h"

// Seconds since 1970 as "YYYY-MM-DDTHH:MM:SSZ", by the proleptic Gregorian calendar.
std::string iso_utc(int64_t seconds);

class manifest {
  public:
    // True when `path` ends in ".csv" or ".jsonl" (any case).
    static bool known_kind(const std::string& path);
    // The files a manifest at `path` writes: the path and, beside a CSV one, FILE.run.json.
    static std::vector<std::string> files_of(const std::string& path);
    // Creates the manifest (UTF-8 path) under a new name beside it and renames it onto the
    // path; null, said on standard error, when it cannot be made. Files written are named
    // relative to `folder` (absolute; empty in list runs).
    static std::unique_ptr<manifest> create(const std::string& path, const std::string& folder);
    ~manifest();
    manifest(const manifest&) = delete;
    manifest& operator=(const manifest&) = delete;

    void write(const chain_record& record);
    // The record of the run: in JSON Lines its first line, written before the first
    // chain's record and, `final`, written again when the run ends, after which nothing
    // more is written; beside a CSV manifest the file FILE.run.json (FILE without ".csv").
    void write_run(const nlohmann::ordered_json& run, bool final);
    // False once a record could not be written (said once on standard error).
    bool good() const { return good_; }

  private:
    manifest(FILE* file, std::string path, bool json, std::string folder);
    void put(const std::string& line);
    std::string relative(const std::string& file) const;
    std::string run_path() const;
    void replace_with(const std::string& path, const std::string& text);

    FILE* file_;
    std::string path_;
    bool json_;
    std::string folder_;
    bool good_ = true;
};
