#pragma once
// A Personal Folders file written to disk for the tests, with writes that can be made to
// fail past an offset.

#include <cstdint>
#include <fstream>
#include <string>
#include <string_view>

#include "pst/output.h"

struct file_output : pst::pst_output {
    explicit file_output(const std::string& path)
        : file(path, std::ios::binary | std::ios::trunc | std::ios::out) {}
    bool write_at(uint64_t offset, std::string_view bytes) override {
        if (fail_after && offset + bytes.size() > fail_after) return false;
        file.seekp(static_cast<std::streamoff>(offset));
        file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        return static_cast<bool>(file);
    }
    std::ofstream file;
    uint64_t fail_after = 0;  // writes reaching past this offset fail; 0: none do
};
