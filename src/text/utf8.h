#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace zarn::text {

/// Whether byte continues a multi-byte UTF-8 character rather than starting one.
constexpr bool is_utf8_continuation(unsigned char byte) {
  return (byte & 0xC0) == 0x80;
}

/// Length of the well-formed UTF-8 character at the start of text, or 0 when
/// text is empty or starts with a malformed one. Strict: no overlong forms,
/// no surrogates, nothing above U+10FFFF.
std::size_t utf8_character_length(std::string_view text);

/// The code point of the well-formed character of that length (from
/// utf8_character_length) at the start of text.
std::uint32_t utf8_code_point(std::string_view text, std::size_t length);

/// Offset of the first malformed character in text, if any.
std::optional<std::size_t> first_invalid_utf8(std::string_view text);

/// Characters in text, counting every byte that continues none.
std::size_t utf8_character_count(std::string_view text);

}  // namespace zarn::text
