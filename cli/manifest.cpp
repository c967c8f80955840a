#include "cli/manifest.h"

#include <cerrno>
#include <cinttypes>
#include <nlohmann/json.hpp>
#include <vector>

#include "engine/store_state.h"
#include "header/date.h"
#include "platform/digest.h"
#include "platform/fs.h"
#include "platform/output_file.h"
#include "platform/text.h"
#include "platform/version.h"

namespace {

const char* const field_names[] = {
    "store", "carved_start",
    // a store read through a file system of an image
    "fs_path", "fs_state", "fs_meta_address", "fs_size", "fs_allocated_size", "fs_modified",
    "fs_accessed", "fs_changed", "fs_created", "list", "chain", "first_offset", "blocks", "bytes",
    "md5", "sha256", "from", "to", "subject", "date", "date_utc", "file", "result", "reason",
    "block_positions", "integrity", "integrity_detail", "tool", "folder", "in_index",
    "index_number", "flags", "received_utc", "account"};

bool ends_with(const std::string& text, std::string_view end) {
    return text.size() >= end.size() &&
           platform::equal_ignoring_case(std::string_view(text).substr(text.size() - end.size()),
                                         end);
}

// The text with every byte that begins no valid UTF-8 sequence replaced by U+FFFD: the
// manifest is UTF-8 throughout, whatever a header held.
std::string valid_utf8(const std::string& text) {
    std::string valid;
    for (size_t at = 0; at < text.size();) {
        size_t length = platform::utf8_sequence_length(text, at);
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

// A text field taken from a message, made safe for a spreadsheet to open: a field that
// would start a formula (=, +, -, @) or begins with a tab or a carriage return gets a
// leading apostrophe, and each control character (C0, DEL, C1) is written as \xHH, its
// code in hexadecimal, so that no escape sequence or line end from a header reaches a cell.
std::string spreadsheet_safe(const std::string& value) {
    std::string safe =
        !value.empty() && std::string_view("=+-@\t\r").find(value[0]) != std::string_view::npos
            ? "'"
            : "";
    for (size_t at = 0; at < value.size(); ++at) {
        auto byte = static_cast<unsigned char>(value[at]);
        unsigned code = byte < 0x20 || byte == 0x7F ? byte : 0x100;
        if (byte == 0xC2 && at + 1 < value.size()) {
            auto next = static_cast<unsigned char>(value[at + 1]);
            if (next >= 0x80 && next <= 0x9F) code = next, ++at;
        }
        if (code == 0x100) {
            safe += char(byte);
            continue;
        }
        char escaped[8];
        std::snprintf(escaped, sizeof escaped, "\\x%02X", code);
        safe += escaped;
    }
    return safe;
}

// The fields of a record whose text comes from the message or from a name on disk (the
// store as given, the file written), which anyone may have chosen.
bool from_message(size_t field) {
    std::string_view name = field_names[field];
    return name == "store" || name == "fs_path" || name == "from" || name == "to" ||
           name == "subject" || name == "date" || name == "file" || name == "folder" ||
           name == "account";
}

// Why a message failed, or what sets its record apart: a message whose last block ran
// past the end of the file at the start of the run holds zero bytes for the missing part.
std::string reason_of(const chain_record& record) {
    if (!record.reason.empty() || !record.cut_short) return record.reason;
    return "cut short";
}

// Where each block of the chain lies in the file.
std::vector<std::string> positions_of(const chain_record& record) {
    std::vector<std::string> positions;
    if (record.integrity)
        for (uint64_t position : record.integrity->block_positions)
            positions.push_back(dbx_hex(position, 8));
    return positions;
}

// The same, joined by blanks.
std::string positions_text(const chain_record& record) {
    std::string text;
    for (const std::string& position : positions_of(record))
        text += (text.empty() ? "" : " ") + position;
    return text;
}

// A time a file system keeps, as iso_utc writes it, with its nanoseconds when it has any.
std::string file_time_text(const std::optional<platform::file_time>& time) {
    if (!time) return "";
    std::string text = iso_utc(time->seconds);
    if (time->nanoseconds == 0) return text;
    char fraction[16];
    std::snprintf(fraction, sizeof fraction, ".%09u", unsigned(time->nanoseconds));
    return text.insert(text.size() - 1, fraction);
}

// The fields of a store read through a file system, in field order; empty for others.
std::vector<std::string> file_fields(const chain_record& record) {
    const platform::found_file* file = record.found_as;
    if (file == nullptr) return std::vector<std::string>(9);
    return {file->partition + "/" + file->path,   file->deleted ? "deleted file" : "allocated file",
            std::to_string(file->meta_address),   std::to_string(file->size),
            std::to_string(file->allocated_size), file_time_text(file->modified),
            file_time_text(file->accessed),       file_time_text(file->changed),
            file_time_text(file->created)};
}

// The result of a chain: what became of it, or that the index names a message the scan
// did not find.
std::string result_of(const chain_record& record) {
    if (record.missing) return "missing";
    if (record.failed) return "failed";
    return record.saved ? "saved" : "listed";
}

// What the store's index says of the chain: whether it names it ("yes", "no"; empty for a
// store without an index), its number there, its flags, when it arrived and the account.
std::vector<std::string> index_fields(const chain_record& record) {
    const dbx_index_entry* entry = record.index_entry;
    if (!entry) return {record.store_indexed ? "no" : "", "", "", "", ""};
    std::optional<int64_t> received = seconds_of_filetime(entry->received);
    return {"yes", std::to_string(entry->index_number), index_flag_names(entry->flags),
            received && hdr_in_calendar_years(*received) ? iso_utc(*received) : "",
            stored_text(entry->account)};
}

}  // namespace

// Seconds since 1970 as "YYYY-MM-DDTHH:MM:SSZ", by the proleptic Gregorian calendar.
std::string iso_utc(int64_t seconds) {
    hdr_utc_time t = hdr_utc_of(seconds);
    char text[64];  // room for any year a 64-bit count of seconds gives
    std::snprintf(text, sizeof text, "%04" PRId64 "-%02d-%02dT%02d:%02d:%02dZ", t.year, t.month,
                  t.day, t.hour, t.minute, t.second);
    return text;
}

bool manifest::known_kind(const std::string& path) {
    return ends_with(path, ".csv") || ends_with(path, ".jsonl");
}

std::vector<std::string> manifest::files_of(const std::string& path) {
    if (ends_with(path, ".jsonl")) return {path};
    return {path, path.substr(0, path.size() - 4) + ".run.json"};
}

// The manifest starts as a new file of the run's own beside the target, holding the header
// row, and is then renamed onto the target: whatever stood under the name is replaced, never
// written into (a hard link to a store stays the store), and from then on the target is a
// valid manifest of the records written so far.
std::unique_ptr<manifest> manifest::create(const std::string& path, const std::string& folder) {
    bool json = ends_with(path, ".jsonl");
    std::string header;
    if (!json) {
        for (const char* name : field_names)
            header += std::string(header.empty() ? "" : ",") + name;
        header += "\r\n";
    }
    if (platform::entry_at(path.c_str()) ==
        platform::entry_kind::read_only) {  // as writing it would be
        errno = EACCES;
        platform::report_error(path.c_str());
        return nullptr;
    }
    // The name is the run's own: a file there was found to be no input, and replaceable.
    platform::output_file start;
    if (!start.reserve(path, platform::file_name_of(path)) || !start.create()) {
        platform::report_error(start.temporary().c_str());
        return nullptr;
    }
    bool written = std::fwrite(header.data(), 1, header.size(), start.stream()) == header.size();
    if (!start.close() || !written) {
        platform::report_error(start.temporary().c_str());
        return nullptr;
    }
    if (!start.complete(nullptr)) {
        platform::report_error(path.c_str());
        return nullptr;
    }
    FILE* file = platform::open_file(path.c_str(), "ab");
    if (file == nullptr) {
        platform::report_error(path.c_str());
        return nullptr;
    }
    return std::unique_ptr<manifest>(new manifest(file, path, json, folder));
}

manifest::manifest(FILE* file, std::string path, bool json, std::string folder)
    : file_(file), path_(std::move(path)), json_(json), folder_(std::move(folder)) {}

manifest::~manifest() {
    if (file_ != nullptr && std::fclose(file_) != 0 && good_) platform::report_error(path_.c_str());
}

void manifest::put(const std::string& line) {
    if (file_ == nullptr) return;  // the run has ended
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
    // A message the scan did not find has no bytes to digest.
    platform::digests digests =
        record.missing ? platform::digests{} : platform::digest_of(*record.bytes);
    std::vector<std::string> values = {
        record.store_path,
        record.carved_start ? dbx_start_hex(*record.carved_start) : "",
        record.list == 0 ? "message" : "deleted fragment",
        record.missing ? "" : std::to_string(record.chain),
        dbx_hex(record.first_offset, 8),
        std::to_string(record.blocks),
        record.missing ? "" : std::to_string(record.bytes->size()),
        digests.md5,
        digests.sha256,
        record.from,
        record.to,
        record.subject,
        record.date_written,
        record.date && hdr_in_calendar_years(*record.date) ? iso_utc(*record.date) : "",
        record.file.empty() ? "" : relative(record.file),
        result_of(record),
        reason_of(record),
        positions_text(record),
        record.integrity ? record.integrity->kinds() : "",
        record.integrity ? record.integrity->detail() : "",
        platform::tool_version(),
        record.folder_path};
    std::vector<std::string> file = file_fields(record);
    values.insert(values.begin() + 2, file.begin(), file.end());
    for (std::string& field : index_fields(record)) values.push_back(std::move(field));
    for (std::string& value : values) value = valid_utf8(value);
    if (json_) {
        nlohmann::ordered_json line;
        for (size_t i = 0; i < values.size(); ++i) line[field_names[i]] = values[i];
        line["chain"] =
            record.missing ? nlohmann::ordered_json(nullptr) : nlohmann::ordered_json(record.chain);
        line["blocks"] = record.blocks;
        line["bytes"] = record.missing ? nlohmann::ordered_json(nullptr)
                                       : nlohmann::ordered_json(record.bytes->size());
        if (record.index_entry) line["index_number"] = record.index_entry->index_number;
        line["block_positions"] = positions_of(record);
        if (record.found_as) {
            line["fs_meta_address"] = record.found_as->meta_address;
            line["fs_size"] = record.found_as->size;
            line["fs_allocated_size"] = record.found_as->allocated_size;
        }
        put(line.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n");
        return;
    }
    std::string line;
    for (size_t i = 0; i < values.size(); ++i)
        line += (i == 0 ? "" : ",") +
                csv_field(from_message(i) ? spreadsheet_safe(values[i]) : values[i]);
    put(line + "\r\n");
}

// The run record goes first: in JSON Lines as the first line, written before any chain's
// and written again, complete, when the run ends; beside a CSV manifest as FILE.run.json.
void manifest::write_run(const nlohmann::ordered_json& run, bool final) {
    std::string text = run.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
    if (!json_) {
        replace_with(run_path(), text);
        return;
    }
    if (!final) {
        put(text);
        return;
    }
    // Nothing is written after the run's end; Windows renames no file onto an open one.
    if (std::fclose(file_) != 0) {
        if (good_) platform::report_error(path_.c_str());
        good_ = false;
    }
    file_ = nullptr;
    // The records are written again behind the run's line; when they cannot be read back, the
    // manifest stays as it was written and the run fails, rather than lose them.
    std::string whole;
    if (!platform::read_whole_file(path_.c_str(), whole)) {
        if (good_) platform::report_error(path_.c_str());
        good_ = false;
        return;
    }
    size_t first_end = whole.find('\n');
    replace_with(path_, text + (first_end == std::string::npos ? "" : whole.substr(first_end + 1)));
}

std::string manifest::run_path() const {
    return files_of(path_).back();
}

// Writes `text` under a new name of the run's own beside `path` and renames it onto it.
void manifest::replace_with(const std::string& path, const std::string& text) {
    platform::output_file file;
    bool written = file.reserve(path, platform::file_name_of(path)) && file.create() &&
                   std::fwrite(text.data(), 1, text.size(), file.stream()) == text.size();
    if (written && file.complete(nullptr)) return;
    platform::report_error(path.c_str());
    good_ = false;
}
