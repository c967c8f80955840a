#include "cli/run_record.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>

#include "cli/manifest.h"
#include "dbx/integrity.h"
#include "platform/digest.h"
#include "platform/fs.h"
#include "platform/image.h"
#include "platform/read.h"
#include "platform/text.h"
#include "platform/version.h"

namespace {

int64_t now_seconds() {
    return std::chrono::duration_cast<std::chrono::seconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

}  // namespace

run_record::run_record(const std::vector<std::string>& args) : args_(args), start_(now_seconds()) {}

void run_record::add_input(const std::string& path, bool hash, bool image) {
    nlohmann::ordered_json input;
    input["path"] = path;
    bool folder = platform::entry_at(path.c_str()) == platform::entry_kind::directory;
    std::optional<int64_t> size = folder ? std::nullopt : platform::file_size(path.c_str());
    input["size"] = size ? nlohmann::ordered_json(*size) : nlohmann::ordered_json(nullptr);
    if (folder) input["folder"] = true;
    // An image of several files (split raw, EWF) is larger than its first file.
    if (image && !folder) {
        if (FILE* file = platform::open_image(path.c_str())) {
            if (auto status = platform::status_of(file)) input["image_size"] = status->size;
            platform::close_image(file);
        }
    }
    if (hash && !folder) {
        std::optional<platform::digests> digests = platform::digest_of_file(path.c_str());
        if (digests) {
            input["md5"] = digests->md5;
            input["sha256"] = digests->sha256;
        } else {
            std::fprintf(stderr, "morvale: %s: cannot be hashed: %s\n",
                         platform::printable(path).c_str(), platform::read_error_text(errno));
        }
    }
    inputs_.push_back(input);
}

void run_record::count(const chain_record& record) {
    std::pair<std::string, std::optional<uint64_t>> key{record.store_path, record.carved_start};
    auto at = std::find_if(stores_.begin(), stores_.end(),
                           [&](const auto& entry) { return entry.first == key; });
    if (at == stores_.end()) at = stores_.insert(stores_.end(), {key, figures{}});
    figures& counted = at->second;
    ++(record.list == 0 ? counted.messages : counted.fragments);
    if (record.integrity == nullptr) return;
    counted.whole += record.integrity->whole();
    counted.integrity.add(*record.integrity);
}

nlohmann::ordered_json run_record::json(std::optional<int> exit_status) const {
    nlohmann::ordered_json run;
    run["record"] = "run";
    run["tool"] = platform::tool_version();
    run["version"] = platform::program_version();
    nlohmann::ordered_json command = nlohmann::ordered_json::array({"morvale"});
    for (const std::string& arg : args_) command.push_back(arg);
    run["command"] = command;
    run["start_utc"] = iso_utc(start_);
    run["end_utc"] = exit_status ? nlohmann::ordered_json(iso_utc(now_seconds()))
                                 : nlohmann::ordered_json(nullptr);
    run["exit_status"] =
        exit_status ? nlohmann::ordered_json(*exit_status) : nlohmann::ordered_json(nullptr);
    run["cluster_size"] = dbx_cluster_size();
    run["inputs"] = inputs_;
    nlohmann::ordered_json stores = nlohmann::ordered_json::array();
    for (const auto& [key, counted] : stores_) {
        nlohmann::ordered_json store;
        store["store"] = key.first;
        store["carved_start"] = key.second ? dbx_start_hex(*key.second) : "";
        store["messages"] = counted.messages;
        store["fragments"] = counted.fragments;
        store["whole"] = counted.whole;
        store["start unattested"] = counted.integrity.start_unattested;
        store["unattested bytes"] = counted.integrity.unattested;
        store["cut short"] = counted.integrity.cut_short;
        store["crosses stores"] = counted.integrity.crosses_stores;
        stores.push_back(store);
    }
    run["stores"] = stores;
    return run;
}
