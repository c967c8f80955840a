#pragma once
// The readable text of an HTML body, for the plain body of a message sent only as HTML.

#include <string>
#include <string_view>

namespace mime {

// Tags dropped (with the contents of head, script and style), block ends and <br> made line
// breaks, runs of white space made one blank, the common entities and numeric references
// decoded. The HTML is UTF-8; so is the text, with CR LF line ends.
std::string html_to_text(std::string_view html);

}  // namespace mime
