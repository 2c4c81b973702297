#include "task/provell/text_excerpt.h"

namespace zarn::provell {
namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

bool is_continuation(unsigned char byte) {
  return (byte & 0xC0) == 0x80;
}

/// Length of the well-formed character at the start of text, or 0.
std::size_t character_length(std::string_view text) {
  const auto lead = static_cast<unsigned char>(text[0]);
  std::size_t length = 0;
  unsigned char low = 0x80;
  unsigned char high = 0xBF;
  if (lead < 0x80) return 1;
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
    if (!is_continuation(static_cast<unsigned char>(text[i]))) return 0;
  }
  return length;
}

}  // namespace

std::string utf8_prefix(std::string_view text, std::size_t max_characters) {
  std::string prefix;
  for (std::size_t count = 0; count < max_characters && !text.empty(); ++count) {
    const std::size_t length = character_length(text);
    if (length == 0) {
      prefix += kReplacement;
      text.remove_prefix(1);
    } else {
      prefix += text.substr(0, length);
      text.remove_prefix(length);
    }
  }
  return prefix;
}

}  // namespace zarn::provell
