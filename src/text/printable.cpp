#include "text/printable.h"

#include <fmt/format.h>

namespace zarn::text {
namespace {

unsigned byte_at(std::string_view text, std::size_t at) {
  return at < text.size() ? static_cast<unsigned char>(text[at]) : 0u;
}

/// The code point of an unsafe character of length bytes at text[at].
unsigned code_point(std::string_view text, std::size_t at, std::size_t length) {
  if (length == 1) return byte_at(text, at);
  if (length == 2) return byte_at(text, at + 1);  // C2 80..C2 9F: U+0080..U+009F
  return ((byte_at(text, at) & 0x0fu) << 12) | ((byte_at(text, at + 1) & 0x3fu) << 6) |
         (byte_at(text, at + 2) & 0x3fu);
}

void append_escape(std::string& out, unsigned code) {
  switch (code) {
    case '\n':
      out += "\\n";
      return;
    case '\r':
      out += "\\r";
      return;
    case '\t':
      out += "\\t";
      return;
    default:
      out += code > 0xff ? fmt::format("\\u{:04x}", code) : fmt::format("\\x{:02x}", code);
  }
}

std::string escaped(std::string_view text, bool keep_line_breaks) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t length = unsafe_character_at(text, i);
    if (length == 0 || (keep_line_breaks && text[i] == '\n')) {
      out += text[i];
      ++i;
      continue;
    }
    append_escape(out, code_point(text, i, length));
    i += length;
  }
  return out;
}

}  // namespace

std::size_t unsafe_character_at(std::string_view text, std::size_t at) {
  const unsigned byte = byte_at(text, at);
  if (at >= text.size()) return 0;
  if (byte < 0x20 || byte == 0x7f) return 1;
  const unsigned second = byte_at(text, at + 1);
  if (byte == 0xc2 && second >= 0x80 && second <= 0x9f) return 2;
  if (byte != 0xe2 || at + 2 >= text.size()) return 0;
  const unsigned third = byte_at(text, at + 2);
  const bool embedding_or_override = second == 0x80 && third >= 0xaa && third <= 0xae;
  const bool isolate = second == 0x81 && third >= 0xa6 && third <= 0xa9;
  return embedding_or_override || isolate ? 3 : 0;
}

bool has_unsafe_character(std::string_view text) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (unsafe_character_at(text, i) != 0) return true;
  }
  return false;
}

std::string printable(std::string_view text) {
  return escaped(text, false);
}

std::string printable_keeping_line_breaks(std::string_view text) {
  return escaped(text, true);
}

}  // namespace zarn::text
