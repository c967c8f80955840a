#pragma once
// Small file helpers of the tests: a path as UTF-8 and a whole file's bytes.

#include <filesystem>
#include <string>

// The path as UTF-8 with '/' between its names.
std::string utf8_path(const std::filesystem::path& path);

// Every byte of the file; empty when it cannot be read.
std::string read_file(const std::filesystem::path& path);
// The same for a path written in UTF-8.
std::string read_file(const std::string& path);
