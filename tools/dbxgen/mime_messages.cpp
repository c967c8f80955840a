// MIME-rich messages for synthetic stores: plain and HTML alternatives, attachments of
// several kinds, HTML with inline images, forwarded messages inside messages, and the
// broken forms some mailers wrote (no closing boundary, blanks after boundary lines,
// noise in base64, a part without Content-Type).

#include <cstdio>
#include <iterator>
#include <string>
#include <vector>

#include "tools/dbxgen/dbxgen.h"
#include "tools/dbxgen/mime_parts.h"

namespace dbxgen {
namespace {

using namespace std::string_view_literals;
using mime::charset_text;

struct file_kind {
    const char* type;
    const char* extension;
    std::string_view magic;
};

const file_kind file_kinds[] = {
    {"application/pdf", "pdf", "%PDF-1.4\n%\xE2\xE3\xCF\xD3\n1 0 obj\n"sv},
    {"image/gif", "gif", "GIF89a"sv},
    {"image/jpeg", "jpg", "\xFF\xD8\xFF\xE0\x00\x10JFIF\x00"sv},
    {"image/png", "png", "\x89PNG\r\n\x1A\n\x00\x00\x00\x0DIHDR"sv},
    {"application/octet-stream", "bin", ""sv},
    {"application/msword", "doc", "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1"sv},
    {"application/zip", "zip", "PK\x03\x04"sv},
};

const char* const mailers[] = {
    "Microsoft Outlook Express 6.00.2800.1158", "Microsoft Outlook, Build 10.0.2627",
    "QUALCOMM Windows Eudora Version 6.0.1.1", "Mozilla Thunderbird 1.0 (Windows/20041206)"};

// A body and whether it has a plain text part (a text attachment may follow only then, so
// that the first plain text part is always the body).
struct body_entity {
    std::string text;
    bool has_plain = false;
};

class mime_message_maker {
  public:
    explicit mime_message_maker(random_source& random) : random_(random) {}
    std::string message(int depth);

  private:
    std::string content(int depth);
    std::string boundary();
    std::string multipart(const char* subtype, const std::vector<std::string>& parts,
                          bool closed = true);
    std::string text_part(const char* subtype, const charset_text& text);
    body_entity body();
    std::string related(const charset_text& text, bool with_plain);
    std::string inline_image(const std::string& id);
    std::string attachment(bool text_allowed);
    std::string embedded(int depth);
    size_t text_length() { return size_t(random_.between(120, 2400)); }

    random_source& random_;
    unsigned boundaries_ = 0;
};

// Outlook Express's boundaries hold '=' and need quotes; others are plain tokens.
std::string mime_message_maker::boundary() {
    char text[64];
    boundaries_++;
    if (random_.chance(60))
        std::snprintf(text, sizeof text, "\"----=_NextPart_%03u_%04X_01C4%04X.%08X\"", boundaries_,
                      unsigned(random_.below(0x10000)), unsigned(random_.below(0x10000)),
                      unsigned(random_.next() & 0xFFFFFFFF));
    else
        std::snprintf(text, sizeof text, "Boundary_%u_%08X", boundaries_,
                      unsigned(random_.next() & 0xFFFFFFFF));
    return text;
}

std::string mime_message_maker::multipart(const char* subtype,
                                          const std::vector<std::string>& parts, bool closed) {
    std::string quoted = boundary();
    std::string bare = quoted[0] == '"' ? quoted.substr(1, quoted.size() - 2) : quoted;
    if (quoted[0] != '"' && random_.chance(50)) quoted = "\"" + quoted + "\"";
    std::string text = std::string("Content-Type: multipart/") + subtype + ";\r\n\t" +
                       (random_.chance(15) ? "BOUNDARY=" : "boundary=") + quoted + "\r\n\r\n";
    if (random_.chance(70)) text += "This is a multi-part message in MIME format.\r\n\r\n";
    // Blanks after a boundary line are allowed; some mailers wrote them.
    std::string blanks = random_.chance(15) ? "  " : "";
    for (const std::string& part : parts) text += "--" + bare + blanks + "\r\n" + part + "\r\n";
    if (closed) text += "--" + bare + "--" + blanks + "\r\n";
    return text;
}

std::string mime_message_maker::text_part(const char* subtype, const charset_text& text) {
    mime::transfer encoding = mime::pick_transfer(random_, text.bytes);
    return std::string("Content-Type: text/") + subtype + ";" +
           (random_.chance(50) ? "\r\n\t" : " ") + mime::charset_parameter(random_, text.charset) +
           "\r\n" + mime::transfer_field(random_, encoding) + "\r\n" +
           mime::encode_body(random_, text.bytes, encoding);
}

// A message's readable part: plain text, HTML alone, both as alternatives, or HTML with
// inline images; now and then a plain part without any Content-Type.
body_entity mime_message_maker::body() {
    charset_text text = mime::body_in_some_charset(random_, text_length());
    unsigned roll = unsigned(random_.below(100));
    if (roll < 5) return {"\r\n" + body_text(random_, text_length()), true};
    if (roll < 30) return {text_part("plain", text), true};
    if (roll < 45)
        return {text_part("html", {text.charset, mime::html_document(random_, text, "")}), false};
    if (roll < 80) {
        std::string html = mime::html_document(random_, text, "");
        return {multipart("alternative",
                          {text_part("plain", text), text_part("html", {text.charset, html})}),
                true};
    }
    bool with_plain = random_.chance(70);
    return {related(text, with_plain), with_plain};
}

// HTML (alone or beside its plain text) and the images it shows by content id.
std::string mime_message_maker::related(const charset_text& text, bool with_plain) {
    std::vector<std::string> ids;
    std::string id_list;
    for (int i = int(random_.between(1, 3)); i > 0; i--) {
        char id[64];
        std::snprintf(id, sizeof id, "image%03u.%08X@%08X", unsigned(i),
                      unsigned(random_.next() & 0xFFFFFFFF), unsigned(random_.next() & 0xFFFFFFFF));
        ids.push_back(id);
        id_list += (id_list.empty() ? "" : " ") + ids.back();
    }
    charset_text html{text.charset, mime::html_document(random_, text, id_list)};
    std::vector<std::string> parts;
    if (with_plain)
        parts.push_back(
            multipart("alternative", {text_part("plain", text), text_part("html", html)}));
    else
        parts.push_back(text_part("html", html));
    for (const std::string& id : ids) parts.push_back(inline_image(id));
    return multipart("related", parts);
}

std::string mime_message_maker::inline_image(const std::string& id) {
    const file_kind& kind = file_kinds[1 + random_.below(3)];
    mime::name_parameters names =
        mime::attachment_name(random_, kind.extension, random_.chance(50));
    std::string text =
        std::string("Content-Type: ") + kind.type + names.content_type_params + "\r\n";
    text += mime::transfer_field(random_, mime::transfer::base64);
    text += "Content-ID: <" + id + ">\r\n";
    if (random_.chance(50))
        text += "Content-Disposition: inline" + names.disposition_params + "\r\n";
    size_t length = size_t(random_.between(60, 3000));
    return text + "\r\n" +
           mime::encode_body(random_, mime::file_bytes(random_, kind.magic, length),
                             mime::transfer::base64);
}

// A file: a text in some charset or bytes of one of the usual kinds, mostly small, now
// and then large enough to need the compound file's big sectors.
std::string mime_message_maker::attachment(bool text_allowed) {
    if (text_allowed && random_.chance(20)) {
        charset_text text = mime::body_in_some_charset(random_, text_length());
        mime::name_parameters names = mime::attachment_name(random_, "txt", random_.chance(80));
        mime::transfer encoding = mime::pick_transfer(random_, text.bytes);
        return "Content-Type: text/plain; " + mime::charset_parameter(random_, text.charset) +
               names.content_type_params + "\r\n" + mime::transfer_field(random_, encoding) +
               "Content-Disposition: attachment" + names.disposition_params + "\r\n\r\n" +
               mime::encode_body(random_, text.bytes, encoding);
    }
    const file_kind& kind = file_kinds[random_.below(std::size(file_kinds))];
    mime::name_parameters names =
        mime::attachment_name(random_, kind.extension, random_.chance(85));
    std::string text =
        std::string("Content-Type: ") + kind.type + names.content_type_params + "\r\n";
    text += mime::transfer_field(random_, mime::transfer::base64);
    if (!names.disposition_params.empty() || random_.chance(50))
        text += "Content-Disposition: attachment" + names.disposition_params + "\r\n";
    size_t length = random_.chance(10) ? size_t(random_.between(8000, 40000))
                                       : size_t(random_.between(40, 5000));
    return text + "\r\n" +
           mime::encode_body(random_, mime::file_bytes(random_, kind.magic, length),
                             mime::transfer::base64);
}

// A forwarded message, attached whole.
std::string mime_message_maker::embedded(int depth) {
    std::string text = "Content-Type: message/rfc822\r\n";
    if (random_.chance(40))
        text += "Content-Disposition: attachment;\r\n\tfilename=\"Forwarded message.eml\"\r\n";
    else if (random_.chance(50))
        text += "Content-Disposition: attachment\r\n";
    return text + "\r\n" + message(depth + 1);
}

// The message's MIME structure below its own header fields.
std::string mime_message_maker::content(int depth) {
    unsigned roll = unsigned(random_.below(100));
    if (roll < 25) return body().text;
    body_entity readable = body();
    std::vector<std::string> parts{readable.text};
    // Mailers that forgot the closing boundary did so at the end of the message.
    bool closed = depth > 0 || !random_.chance(12);
    if (roll < 45 && depth < 2) {
        parts.push_back(embedded(depth));
        if (random_.chance(40)) parts.push_back(attachment(readable.has_plain));
        return multipart("mixed", parts, closed);
    }
    for (int i = int(random_.between(1, 3)); i > 0; i--)
        parts.push_back(attachment(readable.has_plain));
    // A multipart subtype a reader does not know is read as mixed.
    return multipart(roll < 50 ? "parallel" : "mixed", parts, closed);
}

std::string mime_message_maker::message(int depth) {
    std::string head = message_head(random_) + "MIME-Version: 1.0\r\n";
    head += std::string("X-Mailer: ") + mailers[random_.below(std::size(mailers))] + "\r\n";
    // A message with no Content-Type at all is plain ASCII text.
    if (random_.chance(4)) return head + "\r\n" + body_text(random_, text_length());
    return head + content(depth);
}

}  // namespace

std::string make_mime_message(random_source& random) {
    return mime_message_maker(random).message(0);
}

}  // namespace dbxgen
