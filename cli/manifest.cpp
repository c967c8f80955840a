#include "cli/manifest.h"

#include <cinttypes>
#include <nlohmann/json.hpp>
#include <vector>

#include "platform/digest.h"
#include "platform/fs.h"
#include "platform/text.h"

namespace {

const char* const field_names[] = {"store",  "carved_start", "list", "chain",    "first_offset",
                                   "blocks", "bytes",        "md5",  "sha256",   "from",
                                   "to",     "subject",      "date", "date_utc", "file",
                                   "result", "reason"};

bool ends_with(const std::string& text, std::string_view end) {
    return text.size() >= end.size() &&
           platform::equal_ignoring_case(std::string_view(text).substr(text.size() - end.size()),
                                         end);
}

std::string hex(uint64_t value, int digits) {
    char text[32];
    std::snprintf(text, sizeof text, "%0*" PRIX64, digits, value);
    return text;
}

// Seconds since 1970 as "YYYY-MM-DDTHH:MM:SSZ", by the proleptic Gregorian calendar.
std::string iso_utc(int64_t seconds) {
    int64_t days = seconds / 86400, rest = seconds % 86400;
    if (rest < 0) rest += 86400, --days;
    int64_t z = days + 719468, era = (z >= 0 ? z : z - 146096) / 146097;
    int64_t doe = z - era * 146097, yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100), mp = (5 * doy + 2) / 153;
    int64_t day = doy - (153 * mp + 2) / 5 + 1, month = mp < 10 ? mp + 3 : mp - 9;
    int64_t year = yoe + era * 400 + (month <= 2);
    char text[64];  // room for any year a 64-bit count of seconds gives
    std::snprintf(text, sizeof text,
                  "%04" PRId64 "-%02" PRId64 "-%02" PRId64 "T%02" PRId64 ":%02" PRId64 ":%02" PRId64
                  "Z",
                  year, month, day, rest / 3600, rest / 60 % 60, rest % 60);
    return text;
}

// The length of the valid UTF-8 sequence at `at` (shortest forms, no surrogates, at most
// U+10FFFF); 0 when there is none.
size_t utf8_sequence(const std::string& text, size_t at) {
    unsigned char lead = text[at];
    if (lead < 0x80) return 1;
    size_t length = lead >= 0xC2 && lead <= 0xDF   ? 2
                    : lead >= 0xE0 && lead <= 0xEF ? 3
                    : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                   : 0;
    if (length == 0 || at + length > text.size()) return 0;
    unsigned char second = text[at + 1];
    unsigned char low = lead == 0xE0 ? 0xA0 : lead == 0xF0 ? 0x90 : 0x80;
    unsigned char high = lead == 0xED ? 0x9F : lead == 0xF4 ? 0x8F : 0xBF;
    if (second < low || second > high) return 0;
    for (size_t k = 2; k < length; ++k)
        if ((static_cast<unsigned char>(text[at + k]) & 0xC0) != 0x80) return 0;
    return length;
}

// The text with every byte that begins no valid UTF-8 sequence replaced by U+FFFD: the
// manifest is UTF-8 throughout, whatever a header held.
std::string valid_utf8(const std::string& text) {
    std::string valid;
    for (size_t at = 0; at < text.size();) {
        size_t length = utf8_sequence(text, at);
        valid += length == 0 ? std::string("\xEF\xBF\xBD") : text.substr(at, length);
        at += length == 0 ? 1 : length;
    }
    return valid;
}

// A CSV field, quoted when it holds a comma, a quote or a line end.
std::string csv_field(const std::string& value) {
    if (value.find_first_of(",\"\r\n") == std::string::npos) return value;
    std::string quoted = "\"";
    for (char c : value) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    return quoted + "\"";
}

}  // namespace

bool manifest::known_kind(const std::string& path) {
    return ends_with(path, ".csv") || ends_with(path, ".jsonl");
}

std::unique_ptr<manifest> manifest::create(const std::string& path, const std::string& folder) {
    FILE* file = platform::open_file(path.c_str(), "wb");
    if (file == nullptr) {
        platform::report_error(path.c_str());
        return nullptr;
    }
    std::unique_ptr<manifest> made(new manifest(file, path, ends_with(path, ".jsonl"), folder));
    if (!made->json_) {
        std::string header;
        for (const char* name : field_names)
            header += std::string(header.empty() ? "" : ",") + name;
        made->put(header + "\r\n");
    }
    return made;
}

manifest::manifest(FILE* file, std::string path, bool json, std::string folder)
    : file_(file), path_(std::move(path)), json_(json), folder_(std::move(folder)) {}

manifest::~manifest() {
    if (std::fclose(file_) != 0 && good_) platform::report_error(path_.c_str());
}

void manifest::put(const std::string& line) {
    if (std::fwrite(line.data(), 1, line.size(), file_) == line.size() && std::fflush(file_) == 0)
        return;
    if (good_) platform::report_error(path_.c_str());
    good_ = false;
}

// The file written, relative to the run's folder, with '/' between names.
std::string manifest::relative(const std::string& file) const {
    std::string name =
        file.compare(0, folder_.size(), folder_) == 0 ? file.substr(folder_.size()) : file;
    while (!name.empty() && (name[0] == '/' || name[0] == '\\')) name.erase(0, 1);
#ifdef _WIN32
    for (char& c : name) c = c == '\\' ? '/' : c;
#endif
    return name;
}

void manifest::write(const chain_record& record) {
    platform::digests digests = platform::digest_of(*record.bytes);
    std::vector<std::string> values = {record.store_path,
                                       record.carved_start ? hex(*record.carved_start, 12) : "",
                                       record.list == 0 ? "message" : "deleted fragment",
                                       std::to_string(record.chain),
                                       hex(record.first_offset, 8),
                                       std::to_string(record.blocks),
                                       std::to_string(record.bytes->size()),
                                       digests.md5,
                                       digests.sha256,
                                       record.from,
                                       record.to,
                                       record.subject,
                                       record.date_written,
                                       record.date ? iso_utc(*record.date) : "",
                                       record.file.empty() ? "" : relative(record.file),
                                       record.failed  ? "failed"
                                       : record.saved ? "saved"
                                                      : "listed",
                                       record.reason};
    for (std::string& value : values) value = valid_utf8(value);
    if (json_) {
        nlohmann::ordered_json line;
        for (size_t i = 0; i < values.size(); ++i) line[field_names[i]] = values[i];
        line["chain"] = record.chain;
        line["blocks"] = record.blocks;
        line["bytes"] = record.bytes->size();
        put(line.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n");
        return;
    }
    std::string line;
    for (size_t i = 0; i < values.size(); ++i) line += (i == 0 ? "" : ",") + csv_field(values[i]);
    put(line + "\r\n");
}
