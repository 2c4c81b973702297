#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace zarn::provell {

/// The first max_characters characters of UTF-8 text, never cutting a
/// character in two. Each byte that is not part of a well-formed character
/// counts as one character and comes out as U+FFFD.
std::string utf8_prefix(std::string_view text, std::size_t max_characters);

}  // namespace zarn::provell
