// pst_from_eml OUT.pst EML_FOLDER: a Personal Folders file of the .eml files under a folder
// as a save run left them. Each sub-folder becomes a folder below the top of the personal
// folders, nested as they are; each folder's messages are added in the order of their
// names' block offsets, the order a run saves them in. The end-to-end check of the PST
// writer reads the file back with other programs and compares it with the .eml files.

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "msg/message_builder.h"
#include "msg/mime_reader.h"
#include "msg/pst_writer.h"
#include "platform/text.h"

namespace fs = std::filesystem;

namespace {

class file_output : public msg::pst_output {
  public:
    explicit file_output(const std::string& path) : out_(path, std::ios::binary | std::ios::trunc) {}
    bool write_at(uint64_t offset, std::string_view bytes) override {
        out_.seekp(static_cast<std::streamoff>(offset));
        out_.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        return static_cast<bool>(out_);
    }
    bool close() {
        out_.close();
        return static_cast<bool>(out_);
    }

  private:
    std::ofstream out_;
};

// The block offset in a saved file's name: `<name>.<offset>.eml`.
unsigned long long offset_of(const fs::path& file) {
    std::string stem = file.stem().string();
    return std::stoull(stem.substr(stem.rfind('.') + 1), nullptr, 16);
}

bool add_messages(msg::pst_writer& writer, msg::pst_writer::folder_id folder, const fs::path& dir) {
    std::vector<fs::path> files, folders;
    for (const auto& entry : fs::directory_iterator(dir))
        (entry.is_directory() ? folders : files).push_back(entry.path());
    std::sort(files.begin(), files.end(), [](const fs::path& a, const fs::path& b) { return offset_of(a) < offset_of(b); });
    std::sort(folders.begin(), folders.end());
    for (const fs::path& file : files) {
        std::ifstream in(file, std::ios::binary);
        std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        text.resize(std::min(text.size(), text.find('\0')));  // a store hands the text over as a string
        msg::mime_part message = msg::read_mime_message(text);
        msg::message_facts facts;
        msg::walk_header_fields(message.header, [&](const std::string& name, const std::string& value) {
            if (!facts.to && platform::equal_ignoring_case(name, "to")) facts.to = value;
            if (!facts.subject && platform::equal_ignoring_case(name, "subject")) facts.subject = value;
        });
        if (!writer.add_message(folder, msg::build_item(message, facts))) return false;
    }
    for (const fs::path& sub : folders) {
        auto child = writer.add_folder(folder, platform::utf8_to_utf16(sub.filename().string()));
        if (!add_messages(writer, child, sub)) return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: pst_from_eml OUT.pst EML_FOLDER\n");
        return 2;
    }
    file_output out(argv[1]);
    msg::pst_writer writer(out, platform::utf8_to_utf16(fs::path(argv[2]).filename().string()), argv[2]);
    if (!add_messages(writer, writer.top(), argv[2]) || !writer.finish() || !out.close()) {
        std::fprintf(stderr, "pst_from_eml: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
