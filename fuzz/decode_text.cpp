// Charset-aware decoding of arbitrary header values and parameter values, and what the
// program makes of such a value in a message's From, To, Subject and Date: the decoded
// values the list, the manifest and the .msg take, and the file name. Whatever the input,
// each is valid UTF-8.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "engine/message_name.h"
#include "engine/read_message.h"
#include "header/decode.h"
#include "header/summary.h"
#include "platform/text.h"

namespace {

void require_utf8(std::string_view text) {
    if (!platform::valid_utf8(text)) std::abort();
}

void require_utf8_if(const std::optional<std::string>& text) {
    if (text) require_utf8(*text);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view value(reinterpret_cast<const char*>(data), size);
    std::string date = hdr_decode_text(value);  // the manifest's date as written
    require_utf8(date);
    require_utf8(hdr_decode_parameter(value));

    // The value in each field the reader takes, read as it reads a message.
    std::string text;
    for (const char* field : {"From: ", "To: ", "Subject: ", "Date: "}) {
        text.append(field).append(value).append("\r\n");
    }
    text += "\r\nbody";
    hdr_summary summary = hdr_message_summary(text.c_str());
    for (const std::optional<std::string>& decoded : summary.decoded) require_utf8_if(decoded);
    const std::optional<std::string>& from = summary.decoded[hdr_from];
    const std::optional<std::string>& subject = summary.decoded[hdr_subject];
    const std::optional<std::string>& to = summary.decoded[hdr_to];
    for (int mode : {1, 2})
        require_utf8(message_file_name(from, to, subject, uint32_t(size), mode));
    return 0;
}
