#pragma once
// The values of the MIME header fields: a content type or disposition with its parameters.

#include <map>
#include <string>
#include <string_view>

namespace mime {

// One parameter, its RFC 2231 continuations joined in order; `extended` when its first
// section carried a charset ("name*=" or "name*0*=").
struct mime_parameter {
    std::string value;
    bool extended = false;
};
using mime_parameters = std::map<std::string, mime_parameter>;  // names in lower case

// "type/subtype; name=value; ..." split: the leading token in lower case (quotes and blanks
// taken off) and the parameters. Quoted values lose their quotes and escapes; comments go.
std::string parse_field_value(std::string_view value, mime_parameters& parameters);

// A parameter as text for people (UTF-8): extended values by their charset, others with
// their encoded words decoded (mailers put those in file names). Empty when absent.
std::string parameter_text(const mime_parameters& parameters, const std::string& name);

// A parameter exactly as written (a boundary, a charset), blanks at its ends taken off; an
// extended one ("boundary*=us-ascii''a%20b") as the octets it stands for.
std::string parameter_raw(const mime_parameters& parameters, const std::string& name);

}  // namespace mime
