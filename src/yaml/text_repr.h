#pragma once

// Internal to the yaml library: Python's repr() of text and bytes.

#include <string>
#include <string_view>

namespace zarn::yaml::detail {

/// Appends Python's repr() of a str: quoted, non-printable characters escaped.
void append_string_repr(std::string& out, std::string_view text);
/// Appends Python's repr() of bytes: b'...', printable ASCII as itself.
void append_bytes_repr(std::string& out, std::string_view bytes);

}  // namespace zarn::yaml::detail
