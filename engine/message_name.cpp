// Output file names: "<sender>_<receiver>_<subject>.<offset>.<ext>".

#include <cstdio>
#include <cstring>
#include <string_view>

#include "engine/internal.h"
#include "platform/text.h"

namespace {

// Names longer than this are refused by common file systems.
constexpr size_t longest_name = 255;

// The bytes of a header value before any NUL a decoded word put into it.
std::string_view c_string(const std::string& value) {
    return std::string_view(value.c_str(), std::strlen(value.c_str()));
}

// A sender or receiver: one leading double quote dropped, at most 31 bytes.
std::string address_part(const std::optional<std::string>& value, const char* absent) {
    if (!value) return absent;
    std::string_view text = c_string(*value);
    if (!text.empty() && text.front() == '"') text.remove_prefix(1);
    return std::string(text.substr(0, 31));
}

bool forbidden(unsigned char byte) {
    return byte < 0x20 || std::strchr("\\/?\"<>*|:", byte) != nullptr;
}

void replace_forbidden(std::string& text) {
    for (char& byte : text) {
        if (forbidden(static_cast<unsigned char>(byte))) byte = '_';
    }
}

bool is_device_name(std::string_view stem) {
    static constexpr const char* devices[] = {"CON", "PRN", "AUX", "NUL"};
    for (const char* device : devices) {
        if (platform::equal_ignoring_case(stem, device)) return true;
    }
    return stem.size() == 4 &&
           (platform::equal_ignoring_case(stem.substr(0, 3), "COM") ||
            platform::equal_ignoring_case(stem.substr(0, 3), "LPT")) &&
           stem[3] >= '1' && stem[3] <= '9';
}

// Cuts `subject` so that the whole name fits, never inside a UTF-8 sequence.
void fit_subject(std::string& subject, size_t rest) {
    if (rest + subject.size() <= longest_name) return;
    size_t cut = rest < longest_name ? longest_name - rest : 0;
    while (cut > 0 && (static_cast<unsigned char>(subject[cut]) & 0xC0) == 0x80) --cut;
    subject.resize(cut);
}

}  // namespace

std::string message_file_name(const std::optional<std::string>& from,
                              const std::optional<std::string>& to,
                              const std::optional<std::string>& subject, uint32_t offset,
                              int mode) {
    std::string prefix = address_part(from, "_(no_sender)") + "_" +
                         address_part(to, "(no_receiver)") + "_";
    std::string subject_part = subject ? std::string(c_string(*subject)) : "(no_subject)";
    char number[16];
    std::snprintf(number, sizeof number, ".%08X.%s", offset, mode == 2 ? "msg" : "eml");

    replace_forbidden(prefix);
    replace_forbidden(subject_part);
    size_t stem_end = (prefix + subject_part + number).find('.');
    bool device = is_device_name(std::string_view(prefix + subject_part + number).substr(0, stem_end));
    if (device) prefix.insert(0, "_");
    fit_subject(subject_part, prefix.size() + std::strlen(number));
    return prefix + subject_part + number;
}
