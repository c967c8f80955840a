#include "mime/fields.h"

#include <algorithm>
#include <vector>

#include "header/chars.h"
#include "header/decode.h"

namespace mime {

namespace {

std::string trimmed(std::string_view text) {
    size_t start = 0, end = text.size();
    while (start < end && hdr_is_space_or_line_end(text[start])) ++start;
    while (end > start && hdr_is_space_or_line_end(text[end - 1])) --end;
    return std::string(text.substr(start, end - start));
}

std::string lower(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return text;
}

// Walks the value once: quoted strings unquoted, comments dropped, and the text split at
// the semicolons that stand outside quotes. A quote or comment left open runs to the end.
std::vector<std::string> split_items(std::string_view value) {
    std::vector<std::string> items(1);
    for (size_t at = 0; at < value.size(); ++at) {
        char c = value[at];
        if (c == '"') {
            for (++at; at < value.size() && value[at] != '"'; ++at) {
                if (value[at] == '\\' && at + 1 < value.size()) ++at;
                items.back() += value[at];
            }
        } else if (c == '(') {
            int depth = 1;
            for (++at; at < value.size() && depth > 0; ++at) {
                if (value[at] == '(') ++depth;
                if (value[at] == ')') --depth;
            }
            --at;
        } else if (c == ';') {
            items.emplace_back();
        } else {
            items.back() += c;
        }
    }
    return items;
}

// One section of a parameter: its name, its place among continuations, whether it is
// percent-encoded.
struct section {
    std::string name;
    int index = -1;  // -1: not a continuation
    bool extended = false;
};

section read_section_name(std::string name) {
    section out;
    if (!name.empty() && name.back() == '*') {
        out.extended = true;
        name.pop_back();
    }
    size_t star = name.rfind('*');
    if (star != std::string::npos && star + 1 < name.size() &&
        std::all_of(name.begin() + static_cast<long>(star) + 1, name.end(),
                    [](char c) { return c >= '0' && c <= '9'; }) &&
        name.size() - star <= 4) {
        out.index = std::stoi(name.substr(star + 1));
        name.resize(star);
    }
    out.name = lower(trimmed(name));
    return out;
}

}  // namespace

std::string parse_field_value(std::string_view value, mime_parameters& parameters) {
    std::vector<std::string> items = split_items(value);
    // Sections of continued parameters, by name and index, joined once all are seen.
    std::map<std::string, std::map<int, std::pair<std::string, bool>>> sections;
    for (size_t i = 1; i < items.size(); ++i) {
        size_t equals = items[i].find('=');
        if (equals == std::string::npos) continue;
        section name = read_section_name(items[i].substr(0, equals));
        if (name.name.empty()) continue;
        std::string text = trimmed(std::string_view(items[i]).substr(equals + 1));
        auto& parts = sections[name.name];
        auto [slot, added] = parts.emplace(name.index, std::make_pair(text, name.extended));
        // Mailers wrote a name twice, plainly and with its charset: the charset wins.
        if (!added && name.extended) slot->second = {std::move(text), true};
    }
    for (auto& [name, parts] : sections) {
        if (parts.size() > 1) parts.erase(-1);  // continued: the plain fallback goes
        mime_parameter& parameter = parameters[name];
        parameter.extended = parts.begin()->second.second;
        for (auto& [index, part] : parts) parameter.value += part.first;
    }
    return lower(trimmed(items.front()));
}

std::string parameter_text(const mime_parameters& parameters, const std::string& name) {
    auto found = parameters.find(name);
    if (found == parameters.end()) return {};
    const mime_parameter& parameter = found->second;
    return parameter.extended ? hdr_decode_parameter(parameter.value)
                              : hdr_decode_text(parameter.value);
}

std::string parameter_raw(const mime_parameters& parameters, const std::string& name) {
    auto found = parameters.find(name);
    if (found == parameters.end()) return {};
    const mime_parameter& parameter = found->second;
    return trimmed(parameter.extended ? hdr_parameter_octets(parameter.value) : parameter.value);
}

}  // namespace mime
