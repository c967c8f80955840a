#pragma once
// The pieces of the generator's MIME messages: texts in several charsets, the transfer
// encodings (with the line noise some mailers left in base64), file names in the forms
// mailers wrote them, and the bytes of typical attachments.

#include <string>
#include <string_view>

#include "tools/dbxgen/dbxgen.h"

namespace dbxgen::mime {

// A text and the charset its bytes are in.
struct charset_text {
    const char* charset;
    std::string bytes;
};

// Paragraphs of English words with a line in a randomly chosen charset; CRLF line ends.
charset_text body_in_some_charset(random_source& random, size_t bytes);
// The same words as an HTML document in that charset, with an <img> for each content id.
std::string html_document(random_source& random, const charset_text& text,
                          const std::string& image_ids);

// `charset=NAME` as mailers wrote it: odd case, quoted or not.
std::string charset_parameter(random_source& random, const char* charset);

enum class transfer { seven_bit, eight_bit, quoted_printable, base64 };
// A transfer encoding that can carry `bytes` (7bit only for pure ASCII).
transfer pick_transfer(random_source& random, std::string_view bytes);
// "Content-Transfer-Encoding: ...\r\n", in one of the spellings seen in the wild.
std::string transfer_field(random_source& random, transfer encoding);
// The body encoded; base64 sometimes with blanks, stray characters and empty lines.
std::string encode_body(random_source& random, std::string_view bytes, transfer encoding);

// The name parameters of an attachment: nothing, `name=` alone, or `name=` and
// `filename=` as plain text, RFC 2231 values or encoded words. `content_type_params`
// goes after the Content-Type, `disposition_params` after the Content-Disposition.
struct name_parameters {
    std::string content_type_params;
    std::string disposition_params;
};
name_parameters attachment_name(random_source& random, const char* extension, bool named);

// The bytes of a file of the given kind: a plausible magic prefix, then random bytes.
std::string file_bytes(random_source& random, std::string_view magic, size_t length);

}  // namespace dbxgen::mime
