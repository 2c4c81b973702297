#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace zarn::os {

/// Why name cannot be one new folder's name ("it holds a '/'", ...), or
/// nothing when it can: it must be one plain component of at most 255 bytes
/// without the characters text::unsafe_character_at() refuses.
std::optional<std::string_view> folder_name_problem(const std::string& name);

}  // namespace zarn::os
