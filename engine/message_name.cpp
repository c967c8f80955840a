// Output file names: "<sender>_<receiver>_<subject>.<offset>.<ext>", readable text in UTF-8.

#include "engine/message_name.h"

#include <cstdio>
#include <cstring>
#include <string_view>

#include "platform/fs.h"
#include "platform/text.h"

namespace {

// Names longer than this are refused by common file systems.
constexpr size_t longest_name = 255;

// A sender or receiver holds at most this many bytes.
constexpr size_t address_part_limit = 31;

// The text of a decoded header value before any NUL a word put into it.
std::string_view c_string(const std::string& value) {
    return std::string_view(value.c_str(), std::strlen(value.c_str()));
}

// The largest cut at or below `limit` that does not fall inside a UTF-8 sequence.
size_t whole_character_cut(std::string_view text, size_t limit) {
    if (limit >= text.size()) return text.size();
    size_t cut = limit;
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
    return cut;
}

// A sender or receiver: one leading double quote dropped, at most 31 bytes of whole
// characters.
std::string address_part(const std::optional<std::string>& value, const char* absent) {
    if (!value) return absent;
    std::string_view text = c_string(*value);
    if (!text.empty() && text.front() == '"') text.remove_prefix(1);
    return std::string(text.substr(0, whole_character_cut(text, address_part_limit)));
}

// Characters no file system takes in a name, or no one can read there: C0 and C1
// controls and the nine characters Windows forbids.
bool forbidden(char32_t code) {
    if (code < 0x20 || (code >= 0x80 && code <= 0x9F)) return true;
    return code < 0x80 && std::strchr("\\/?\"<>*|:", static_cast<int>(code)) != nullptr;
}

}  // namespace

// Each forbidden character becomes one '_'; so does a byte outside valid UTF-8, which the
// decoded text never holds.
std::string replace_forbidden(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t at = 0; at < text.size();) {
        char32_t code = 0;
        size_t length = platform::utf8_sequence(text, at, &code);
        if (length == 0 || forbidden(code)) {
            out += '_';
            at += length == 0 ? 1 : length;
        } else {
            out.append(text, at, length);
            at += length;
        }
    }
    return out;
}

namespace {

// Cuts `subject` so that the whole name fits, never inside a UTF-8 sequence.
void fit_subject(std::string& subject, size_t rest) {
    if (rest + subject.size() <= longest_name) return;
    subject.resize(whole_character_cut(subject, rest < longest_name ? longest_name - rest : 0));
}

}  // namespace

std::string message_file_name(const std::optional<std::string>& from,
                              const std::optional<std::string>& to,
                              const std::optional<std::string>& subject, uint32_t offset,
                              int mode) {
    std::string prefix = replace_forbidden(address_part(from, "_(no_sender)") + "_" +
                                           address_part(to, "(no_receiver)") + "_");
    std::string subject_part =
        replace_forbidden(subject ? c_string(*subject) : std::string_view("(no_subject)"));
    char number[16];
    std::snprintf(number, sizeof number, ".%08X.%s", offset, mode == 2 ? "msg" : "eml");

    std::string whole = prefix + subject_part + number;
    if (platform::is_device_name(whole)) prefix.insert(0, "_");
    fit_subject(subject_part, prefix.size() + std::strlen(number));
    return prefix + subject_part + number;
}

std::string safe_folder_name(const std::string& name) {
    std::string safe = replace_forbidden(name);
    if (platform::is_device_name(safe)) safe.insert(0, "_");
    safe.resize(whole_character_cut(safe, longest_name));
    return fitted_folder_name(std::move(safe));
}

std::string fitted_folder_name(std::string name) {
    name.erase(name.find_last_not_of(". ") + 1);
    return name.empty() ? "_" : name;
}
