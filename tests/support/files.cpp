#include "support/files.h"

#include <fstream>
#include <sstream>

std::string utf8_path(const std::filesystem::path& path) {
    std::u8string text = path.generic_u8string();
    return std::string(text.begin(), text.end());
}

std::string read_file(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

std::string read_file(const std::string& path) {
    return read_file(std::filesystem::u8path(path));
}
