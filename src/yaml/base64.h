#pragma once

// Internal to the yaml library: the base64 text of !!binary values.

#include <optional>
#include <string>
#include <string_view>

namespace zarn::yaml::detail {

/// The bytes of base64 text. Whitespace anywhere is skipped (the text is
/// usually a block of lines); padding is required and ends the data. Returns
/// nothing for any other character, data after the padding, or a length no
/// padding explains: such text is refused rather than read in part.
std::optional<std::string> base64_decode(std::string_view text);

/// Base64 of bytes in lines of at most 76 characters, each ending in a line
/// break; "" for no bytes.
std::string base64_lines(std::string_view bytes);

}  // namespace zarn::yaml::detail
