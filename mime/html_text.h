#pragma once
// The readable text of an HTML body, for the plain body of a message sent only as HTML.

#include <string>
#include <string_view>

namespace mime {

// Tags dropped (with the contents of head, script and style), block ends and <br> made line
// breaks, table cells parted by tabs, a link's target written after its text in angle
// brackets (unless the text says it already), runs of white space made one blank, named and
// numeric character references decoded. The HTML is UTF-8; so is the text, with CR LF line
// ends.
std::string html_to_text(std::string_view html);

}  // namespace mime
