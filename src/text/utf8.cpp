#include "text/utf8.h"

#include <algorithm>

namespace zarn::text {

std::size_t utf8_character_length(std::string_view text) {
  if (text.empty()) return 0;
  const auto lead = static_cast<unsigned char>(text[0]);
  if (lead < 0x80) return 1;
  std::size_t length = 0;
  unsigned char low = 0x80;
  unsigned char high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;   // overlong forms
    if (lead == 0xED) high = 0x9F;  // surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;  // above U+10FFFF
  } else {
    return 0;
  }
  if (text.size() < length) return 0;
  const auto second = static_cast<unsigned char>(text[1]);
  if (second < low || second > high) return 0;
  for (std::size_t i = 2; i < length; ++i) {
    if (!is_utf8_continuation(static_cast<unsigned char>(text[i]))) return 0;
  }
  return length;
}

std::uint32_t utf8_code_point(std::string_view text, std::size_t length) {
  const auto lead = static_cast<unsigned char>(text[0]);
  if (length == 1) return lead;
  std::uint32_t value = lead & (0x7Fu >> length);
  for (std::size_t i = 1; i < length; ++i) {
    value = (value << 6) | (static_cast<unsigned char>(text[i]) & 0x3Fu);
  }
  return value;
}

std::optional<std::size_t> first_invalid_utf8(std::string_view text) {
  std::size_t offset = 0;
  while (offset < text.size()) {
    const std::size_t length = utf8_character_length(text.substr(offset));
    if (length == 0) return offset;
    offset += length;
  }
  return std::nullopt;
}

std::size_t utf8_character_count(std::string_view text) {
  return static_cast<std::size_t>(std::count_if(text.begin(), text.end(), [](char c) {
    return !is_utf8_continuation(static_cast<unsigned char>(c));
  }));
}

}  // namespace zarn::text
