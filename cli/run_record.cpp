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

namespace {

// The MD5 and SHA-256 of a file read whole now; a failure is said.
std::optional<platform::digests> hash_file(const std::string& path) {
    std::optional<platform::digests> digests = platform::digest_of_file(path.c_str());
    if (!digests)
        std::fprintf(stderr, "morvale: %s: cannot be hashed: %s\n",
                     platform::printable(path).c_str(), platform::read_error_text(errno));
    return digests;
}

void put_digests(const std::optional<platform::digests>& digests, nlohmann::ordered_json& into,
                 const std::string& md5, const std::string& sha256) {
    into[md5] = digests ? nlohmann::ordered_json(digests->md5) : nlohmann::ordered_json(nullptr);
    into[sha256] =
        digests ? nlohmann::ordered_json(digests->sha256) : nlohmann::ordered_json(nullptr);
}

}  // namespace

void run_record::add_input(const std::string& path, bool hash, bool image) {
    nlohmann::ordered_json input;
    input["path"] = path;
    bool folder = platform::entry_at(path.c_str()) == platform::entry_kind::directory;
    std::optional<int64_t> size = folder ? std::nullopt : platform::file_size(path.c_str());
    input["size"] = size ? nlohmann::ordered_json(*size) : nlohmann::ordered_json(nullptr);
    if (folder) input["folder"] = true;
    // An image of several files (split raw, EWF) is larger than its first file.
    image_input files;
    bool opened = false;
    if (image && !folder) {
        if (platform::source_opening opening = platform::open_image_source(path.c_str());
            opening.source) {
            opened = true;
            input["image_size"] = opening.source->size();
            files.segments = opening.source->segments();
            files.stored = opening.source->stored_digests();
        }
    }
    if (hash && opened) {
        // The data of the image and its raw files are digested as the run reads them; an
        // EWF image's files hold compressed data, and are read whole now.
        for (const platform::image_segment& each : files.segments)
            files.read_now.push_back(each.placed == each.size ? std::nullopt
                                                              : hash_file(each.path));
        files.input = inputs_.size();
        images_.push_back(std::move(files));
    } else if (hash && !folder) {
        if (std::optional<platform::digests> digests = hash_file(path)) {
            input["md5"] = digests->md5;
            input["sha256"] = digests->sha256;
        }
    }
    inputs_.push_back(input);
}

platform::source_opener run_record::reading(platform::source_opener open) {
    return [this, open = std::move(open)](const char* path, platform::source_kind kind) {
        platform::source_opening opening = open(path, kind);
        if (kind == platform::source_kind::image && opening.source && !images_.empty()) {
            opening.source = platform::digesting_reads(
                std::move(opening.source),
                [this](const platform::image_reading& read) { readings_[read.path] = read; });
        }
        return opening;
    };
}

// The digests of an image's files and data: those the run's reading gave (none before the
// run ends), and an EWF image's own, and whether its data matches them.
nlohmann::ordered_json run_record::image_fields(const image_input& image) const {
    nlohmann::ordered_json input = inputs_[image.input];
    const std::string& path = input["path"].get_ref<const std::string&>();
    auto found = readings_.find(path);
    const platform::image_reading* reading = found == readings_.end() ? nullptr : &found->second;
    nlohmann::ordered_json segments = nlohmann::ordered_json::array();
    for (size_t k = 0; k < image.segments.size(); ++k) {
        const platform::image_segment& each = image.segments[k];
        nlohmann::ordered_json segment;
        segment["path"] = each.path;
        segment["size"] = each.size;
        std::optional<platform::digests> digests = image.read_now[k];
        if (each.placed == each.size && reading && k < reading->segments.size())
            digests = reading->segments[k];
        put_digests(digests, segment, "md5", "sha256");
        // The file given is the image's first segment.
        if (k == 0) put_digests(digests, input, "md5", "sha256");
        segments.push_back(segment);
    }
    input["segments"] = segments;
    input["image_read"] = reading ? reading->read_in_order : 0;
    std::optional<platform::digests> data = reading ? reading->data : std::nullopt;
    put_digests(data, input, "image_md5", "image_sha256");
    if (image.stored.empty()) return input;
    if (data && !data->sha1.empty()) input["image_sha1"] = data->sha1;
    std::optional<bool> matches;
    for (const auto& [name, value] : image.stored) {
        input["acquisition_" + name] = value;
        const std::string* taken = !data            ? nullptr
                                   : name == "md5"  ? &data->md5
                                   : name == "sha1" ? &data->sha1
                                                    : nullptr;
        if (taken) matches = matches.value_or(true) && *taken == value;
    }
    input["acquisition_match"] =
        matches ? nlohmann::ordered_json(*matches) : nlohmann::ordered_json(nullptr);
    return input;
}

void run_record::count(const chain_record& record) {
    std::pair<std::string, std::optional<uint64_t>> key{record.store_path, record.carved_start};
    auto at = std::find_if(stores_.begin(), stores_.end(),
                           [&](const auto& entry) { return entry.first == key; });
    if (at == stores_.end()) at = stores_.insert(stores_.end(), {key, figures{}});
    figures& counted = at->second;
    if (record.missing) {
        ++counted.missing;
        return;
    }
    ++(record.list == 0 ? counted.messages : counted.fragments);
    if (record.store_indexed && record.list == 0 && !record.index_entry) ++counted.not_in_index;
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
    nlohmann::ordered_json inputs = inputs_;
    for (const image_input& image : images_) inputs[image.input] = image_fields(image);
    run["inputs"] = inputs;
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
        store["messages not in the index"] = counted.not_in_index;
        store["missing"] = counted.missing;
        stores.push_back(store);
    }
    run["stores"] = stores;
    return run;
}
