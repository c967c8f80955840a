#include "mime/attachment_names.h"

#include "header/decode.h"
#include "mime/transfer_decoding.h"
#include "platform/fs.h"

namespace mime {

namespace {

// The extension a part of a known type is saved with.
std::string extension_for(const std::string& type) {
    static const std::pair<const char*, const char*> known[] = {
        {"text/plain", ".txt"},
        {"text/html", ".htm"},
        {"text/calendar", ".ics"},
        {"text/x-vcard", ".vcf"},
        {"text/vcard", ".vcf"},
        {"image/jpeg", ".jpg"},
        {"image/pjpeg", ".jpg"},
        {"image/gif", ".gif"},
        {"image/png", ".png"},
        {"image/bmp", ".bmp"},
        {"image/tiff", ".tif"},
        {"application/pdf", ".pdf"},
        {"application/zip", ".zip"},
        {"application/msword", ".doc"},
        {"application/rtf", ".rtf"},
        {"audio/wav", ".wav"},
        {"audio/x-wav", ".wav"},
        {"message/rfc822", ".eml"},
        {"message/delivery-status", ".txt"},
        {"application/pgp-signature", ".asc"},
        {"application/pkcs7-signature", ".p7s"},
        {"application/x-pkcs7-signature", ".p7s"}};
    for (auto [name, extension] : known) {
        if (type == name) return extension;
    }
    return ".dat";
}

// A name as Windows can hold it: no path separators, controls or reserved characters,
// no leading or trailing dots and blanks, and '_' before a device's name.
std::string safe_file_name(const std::string& name) {
    std::string out;
    for (unsigned char c : name) {
        bool reserved = c < 0x20 || std::string_view("\\/:*?\"<>|").find(static_cast<char>(c)) !=
                                        std::string_view::npos;
        out += reserved ? '_' : static_cast<char>(c);
    }
    size_t start = out.find_first_not_of(" .");
    size_t end = out.find_last_not_of(" .");
    if (start == std::string::npos) return {};
    out = out.substr(start, end - start + 1);
    return platform::is_device_name(out) ? "_" + out : out;
}

// The header's name; for a uuencoded part without one, the name its "begin" line gives.
std::string given_name(const mime_part& part) {
    std::string name = parameter_text(part.disposition_parameters, "filename");
    if (name.empty()) name = parameter_text(part.type_parameters, "name");
    if (name.empty() && !part.unreadable && is_uuencoding(part.transfer_encoding)) {
        if (auto file = uudecoded(part.body, true)) name = hdr_raw_to_utf8(file->name);
    }
    return safe_file_name(name);
}

std::string extension_of(const std::string& name) {
    size_t dot = name.rfind('.');
    if (dot == std::string::npos || dot == 0) return {};
    return name.substr(dot);
}

bool is_short_name_char(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '-' || c == '~' ||
           c == '!' || c == '#' || c == '$' || c == '%' || c == '&';
}

// ASCII letters upper-cased and kept with digits and a few signs; other characters dropped.
std::string short_name_chars(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        if (is_short_name_char(c)) out += c;
    }
    return out;
}

std::string short_name(const std::string& long_name, const std::string& extension, size_t index) {
    std::string stem_text = long_name.substr(0, long_name.size() - extension.size());
    std::string stem = short_name_chars(stem_text);
    std::string ext = short_name_chars(extension).substr(0, 3);
    bool fits = stem.size() <= 8 && !stem.empty() && stem.size() == stem_text.size() &&
                ext.size() + (extension.empty() ? 0 : 1) == extension.size();
    if (!fits) {
        if (stem.empty()) stem = "ATTACH";
        stem = stem.substr(0, 6) + "~" + std::to_string(index % 10 + 1).substr(0, 1);
    }
    return ext.empty() ? stem : stem + "." + ext;
}

}  // namespace

attachment_names name_attachment(const mime_part& part, size_t index) {
    attachment_names names;
    names.long_name = given_name(part);
    if (names.long_name.empty()) {
        const std::string& type =
            part.unreadable ? std::string("application/octet-stream") : part.type;
        names.long_name = "part" + std::to_string(index + 1) +
                          (part.truncated ? " (truncated)" : "") + extension_for(type);
    }
    names.extension = extension_of(names.long_name);
    names.short_name = short_name(names.long_name, names.extension, index);
    return names;
}

}  // namespace mime
