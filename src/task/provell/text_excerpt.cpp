#include "task/provell/text_excerpt.h"

#include "text/utf8.h"

namespace zarn::provell {
namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

}  // namespace

std::string utf8_prefix(std::string_view text, std::size_t max_characters) {
  std::string prefix;
  for (std::size_t count = 0; count < max_characters && !text.empty(); ++count) {
    const std::size_t length = zarn::text::utf8_character_length(text);
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
