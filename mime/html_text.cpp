#include "mime/html_text.h"

#include <cstdint>

#include "header/chars.h"
#include "platform/text.h"

namespace mime {

namespace {

bool is_space(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f';
}

std::string lower_name(std::string_view tag) {
    size_t start = tag.substr(0, 1) == "/" ? 1 : 0;
    std::string name;
    for (size_t at = start;
         at < tag.size() && !is_space(tag[at]) && tag[at] != '/' && tag[at] != '>'; ++at) {
        char c = tag[at];
        name += c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    }
    return name;
}

bool breaks_line(const std::string& name) {
    static const char* const names[] = {"br", "p",  "div", "tr",    "li",         "h1", "h2", "h3",
                                        "h4", "h5", "h6",  "table", "blockquote", "hr", "pre"};
    for (const char* n : names) {
        if (name == n) return true;
    }
    return false;
}

// A character reference's code point; NUL becomes U+FFFD, as browsers read it.
void append_reference(std::string& out, uint32_t code) {
    platform::append_utf8(out, code == 0 ? 0xFFFD : code);
}

// The entity at `at` (just after '&') appended; returns its length with the ';', 0 when
// it is not one this reader knows.
size_t read_entity(std::string_view html, size_t at, std::string& out) {
    size_t end = html.find(';', at);
    if (end == std::string_view::npos || end - at > 10 || end == at) return 0;
    std::string_view name = html.substr(at, end - at);
    if (name[0] == '#') {
        bool hex = name.size() > 1 && (name[1] == 'x' || name[1] == 'X');
        uint32_t code = 0;
        for (char c : name.substr(hex ? 2 : 1)) {
            int digit = hex ? hdr_hex_digit(c) : c >= '0' && c <= '9' ? c - '0' : -1;
            if (digit < 0) return 0;
            code = code * (hex ? 16 : 10) + static_cast<uint32_t>(digit);
        }
        append_reference(out, code);
        return end - at + 1;
    }
    static const std::pair<const char*, uint32_t> names[] = {
        {"amp", '&'},   {"lt", '<'},    {"gt", '>'},   {"quot", '"'},    {"apos", '\''},
        {"nbsp", 0xA0}, {"copy", 0xA9}, {"reg", 0xAE}, {"euro", 0x20AC}, {"hellip", 0x2026}};
    for (auto [text, code] : names) {
        if (name == text) {
            append_reference(out, code);
            return end - at + 1;
        }
    }
    return 0;
}

class text_builder {
  public:
    // The text is never longer than the HTML it comes from: room for it is taken once, and
    // what it does not fill is never touched.
    explicit text_builder(size_t html_size) { text_.reserve(html_size); }
    void character(char c) {
        if (is_space(c)) {
            pending_space_ = !text_.empty() && !at_line_start();
            return;
        }
        flush_space();
        text_ += c;
    }
    void text(const std::string& s) {
        for (char c : s) character(c);
    }
    void line_break() {
        pending_space_ = false;
        if (!text_.empty()) text_ += "\r\n";
    }
    std::string finish() {
        while (text_.size() >= 2 && text_.compare(text_.size() - 2, 2, "\r\n") == 0) {
            text_.resize(text_.size() - 2);
        }
        return std::move(text_);
    }

  private:
    bool at_line_start() const { return text_.size() >= 1 && text_.back() == '\n'; }
    void flush_space() {
        if (pending_space_) text_ += ' ';
        pending_space_ = false;
    }
    std::string text_;
    bool pending_space_ = false;
};

// Where the element whose contents are skipped ends: after its closing tag, or the end.
size_t skip_contents(std::string_view html, size_t at, const std::string& name) {
    std::string close = "</" + name;
    for (size_t found = at; found < html.size(); ++found) {
        found = html.find("</", found);
        if (found == std::string_view::npos) return html.size();
        if (lower_name(html.substr(found + 1, name.size() + 2)) == name) {
            size_t end = html.find('>', found);
            return end == std::string_view::npos ? html.size() : end + 1;
        }
    }
    return html.size();
}

}  // namespace

std::string html_to_text(std::string_view html) {
    text_builder text(html.size());
    for (size_t at = 0; at < html.size();) {
        char c = html[at];
        if (html.substr(at, 4) == "<!--") {
            size_t end = html.find("-->", at + 4);
            at = end == std::string_view::npos ? html.size() : end + 3;
        } else if (c == '<') {
            size_t end = html.find('>', at);
            if (end == std::string_view::npos) break;
            std::string_view tag = html.substr(at + 1, end - at - 1);
            std::string name = lower_name(tag);
            at = end + 1;
            if (tag.substr(0, 1) != "/" &&
                (name == "head" || name == "script" || name == "style")) {
                at = skip_contents(html, at, name);
            } else if (breaks_line(name)) {
                text.line_break();
            }
        } else if (c == '&') {
            std::string entity;
            size_t length = read_entity(html, at + 1, entity);
            if (length > 0) {
                text.text(entity);
                at += length + 1;
            } else {
                text.character(c);
                ++at;
            }
        } else {
            text.character(c);
            ++at;
        }
    }
    return text.finish();
}

}  // namespace mime
