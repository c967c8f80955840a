#include "mime/address_list.h"

#include <algorithm>

#include "header/chars.h"
#include "header/decode.h"

namespace mime {

namespace {

// Runs of white space become one blank; the ends are trimmed.
std::string collapse_spaces(std::string_view s) {
    std::string out;
    for (char c : s) {
        if (hdr_is_space_or_line_end(c)) {
            if (!out.empty() && out.back() != ' ') out += ' ';
        } else {
            out += c;
        }
    }
    if (!out.empty() && out.back() == ' ') out.pop_back();
    return out;
}

}  // namespace

namespace {

class address_parser {
  public:
    address_parser(std::string_view value, const hdr_reading& reading)
        : value_(value), reading_(reading) {}

    std::vector<mailbox> run() {
        for (at_ = 0; at_ < value_.size();) step();
        finish_mailbox();
        return std::move(result_);
    }

  private:
    void step() {
        char c = value_[at_];
        if (c == '"') return quoted();
        if (c == '(') return comment();
        if (c == '<') return angle();
        ++at_;
        if (c == ',') return finish_mailbox();
        if (c == ';' && in_group_) {
            finish_mailbox();
            in_group_ = false;
            return;
        }
        if (c == ':' && !in_group_ && !has_angle_) {
            // A group's name is not an address: what came before is dropped.
            phrase_.clear();
            comment_.clear();
            in_group_ = true;
            return;
        }
        phrase_ += c;
    }

    void quoted() {
        ++at_;
        while (at_ < value_.size() && value_[at_] != '"') {
            if (value_[at_] == '\\' && at_ + 1 < value_.size()) ++at_;
            phrase_ += value_[at_++];
        }
        ++at_;
        was_quoted_ = true;
    }

    void comment() {
        int depth = 0;
        std::string text;
        do {
            char c = value_[at_];
            if (c == '\\' && at_ + 1 < value_.size()) {
                text += value_[++at_];
            } else {
                if (c == '(') ++depth;
                if (c == ')') --depth;
                if (depth > 1 || (depth == 1 && c != '(')) text += c;
            }
            ++at_;
        } while (at_ < value_.size() && depth > 0);
        if (!comment_.empty()) comment_ += ' ';
        comment_ += text;
    }

    void angle() {
        size_t end = value_.find('>', at_);
        if (end == value_.npos) end = value_.size();
        std::string_view inside = value_.substr(at_ + 1, end - at_ - 1);
        // A source route ("@a,@b:user@host") leads to the address after its colon.
        if (size_t colon = inside.rfind(':'); colon != inside.npos) inside.remove_prefix(colon + 1);
        angle_ = collapse_spaces(inside);
        has_angle_ = true;
        at_ = end + 1;
    }

    void finish_mailbox() {
        mailbox box;
        if (has_angle_) {
            box.name = hdr_decode_text(collapse_spaces(phrase_), reading_);
            box.address = hdr_raw_to_utf8(angle_, reading_);
        } else {
            std::string text = collapse_spaces(phrase_);
            if (text.find('@') != text.npos && !was_quoted_) {
                // A bare address; an old-style comment after it is the name.
                text.erase(std::remove(text.begin(), text.end(), ' '), text.end());
                box.address = hdr_raw_to_utf8(text, reading_);
                box.name = hdr_decode_text(collapse_spaces(comment_), reading_);
            } else {
                box.name = hdr_decode_text(text, reading_);
            }
        }
        if (!box.name.empty() || !box.address.empty()) result_.push_back(std::move(box));
        phrase_.clear();
        comment_.clear();
        angle_.clear();
        has_angle_ = false;
        was_quoted_ = false;
    }

    std::string_view value_;
    const hdr_reading& reading_;
    size_t at_ = 0;
    std::string phrase_, comment_, angle_;
    bool has_angle_ = false, was_quoted_ = false, in_group_ = false;
    std::vector<mailbox> result_;
};

}  // namespace

std::vector<mailbox> parse_address_list(std::string_view value, const hdr_reading& reading) {
    return address_parser(value, reading).run();
}

}  // namespace mime
