#pragma once
// The file names an attachment carries: the long name as the sender gave it (or one made up
// from its type), the short 8.3 name older programs show, and the extension.

#include <string>

#include "mime/reader.h"

namespace mime {

struct attachment_names {
    std::string long_name;  // UTF-8
    std::string short_name;
    std::string extension;  // with its dot; empty when the name has none
};

// `index` numbers made-up names, so two nameless parts of one type differ; a truncated
// enclosed message's made-up name says so ("part2 (truncated).eml").
attachment_names name_attachment(const mime_part& part, size_t index);

}  // namespace mime
