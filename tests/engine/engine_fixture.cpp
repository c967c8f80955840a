#include "engine_fixture.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/fs.h"

namespace fs = std::filesystem;

std::string mail(const std::string& from, const std::string& to, const std::string& subject,
                 const std::string& date) {
    std::string text;
    if (!from.empty()) text += "From: " + from + "\r\n";
    if (!to.empty()) text += "To: " + to + "\r\n";
    if (!subject.empty()) text += "Subject: " + subject + "\r\n";
    if (!date.empty()) text += "Date: " + date + "\r\n";
    return text + "\r\nHello there.\r\n";
}

dbxgen::store_image one_message_and_one_fragment() {
    dbxgen::store_image image;
    image.put_signature();
    const uint32_t message[] = {0x2A0}, fragment[] = {0x800};
    image.add_message(mail("Ann", "Bob", "Hi"), message);
    image.add_freed_fragment("left over", fragment, 0);
    image.resize(0x1000);
    return image;
}

std::string file_bytes(const std::string& path) {
    std::ifstream in(fs::u8path(path), std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

int64_t modification_time(const std::string& path) {
    auto written = fs::last_write_time(fs::u8path(path));
    auto system = std::chrono::file_clock::to_sys(written);
    return std::chrono::duration_cast<std::chrono::seconds>(system.time_since_epoch()).count();
}

std::vector<std::string> files_in(const std::string& folder) {
    std::vector<std::string> names;
    std::error_code ignored;
    for (auto& entry : fs::directory_iterator(fs::u8path(folder), ignored)) {
        if (!entry.is_regular_file()) continue;
        auto u8 = entry.path().filename().u8string();
        names.emplace_back(u8.begin(), u8.end());
    }
    std::sort(names.begin(), names.end());
    return names;
}

engine_test::engine_test() : start_directory(*platform::current_directory()) {}

engine_test::~engine_test() {
    platform::change_directory(start_directory.c_str());
}

std::string engine_test::write_store(dbxgen::store_image& image, const std::string& name) {
    std::string path = dir.file(name);
    EXPECT_TRUE(image.write_file(path));
    return path;
}

std::string engine_test::write_generated_store(uint64_t seed, int messages, int deleted,
                                               const std::string& name, int64_t* size) {
    dbxgen::store_options options;
    options.seed = seed;
    options.messages = messages;
    options.deleted = deleted;
    std::string path = dir.file(name);
    FILE* out = std::fopen(path.c_str(), "wb");
    EXPECT_NE(out, nullptr);
    int64_t written = out ? dbxgen::write_store(options, out) : -1;
    if (out) std::fclose(out);
    EXPECT_GT(written, 0);
    if (size) *size = written;
    return path;
}

run_result engine_test::run(const std::string& store, int mode, const std::string& folder,
                            const platform::source_opener* open) {
    run_result result;
    save_mode = mode;
    std::string name = fs::u8path(store).filename().string();
    std::string target = folder + separator + name;
    // The chosen folder exists, as one picked in the folder browser does.
    if (mode != 0) platform::make_directory(folder.c_str());
    auto captured = capture_output([&] {
        result.status = recover_store(mode == 0 ? nullptr : target.c_str(), store.c_str(),
                                      &result.outcome, open);
    });
#ifdef _WIN32
    // A text-mode stream on Windows writes CR LF for each line end.
    for (std::string* text : {&captured.out, &captured.err}) {
        for (size_t at = 0; (at = text->find("\r\n", at)) != std::string::npos;) text->erase(at, 1);
    }
#endif
    // Standard output begins with the scan's progress line, which ends at "100.0%\n".
    size_t scan_end = captured.out.find("100.0%\n");
    size_t split = scan_end == std::string::npos ? 0 : scan_end + 7;
    result.scan = captured.out.substr(0, split);
    result.out = captured.out.substr(split);
    result.err = captured.err;
    return result;
}
