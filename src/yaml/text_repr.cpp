#include "yaml/text_repr.h"

#include <cstdint>
#include <cstdio>

#include "text/utf8.h"

namespace zarn::yaml::detail {
namespace {

void append_hex(std::string& out, char prefix, std::uint32_t value, int digits) {
  char buffer[16];
  const int length = std::snprintf(buffer, sizeof buffer, "\\%c%0*x", prefix, digits, value);
  out.append(buffer, static_cast<std::size_t>(length));
}

// Close to Python's str.isprintable(): controls, separators other than the
// space, format characters and private use are escaped.
bool printable(std::uint32_t c) {
  if (c < 0x20 || (c >= 0x7f && c <= 0xa0) || c == 0xad) return false;
  if (c == 0x1680 || (c >= 0x2000 && c <= 0x200f) || (c >= 0x2028 && c <= 0x202f)) return false;
  if ((c >= 0x205f && c <= 0x206f) || c == 0x3000 || c == 0xfeff) return false;
  if ((c >= 0xd800 && c <= 0xf8ff) || (c >= 0xfff9 && c <= 0xfffb)) return false;
  if ((c >= 0xe0000 && c <= 0xe007f) || c >= 0xf0000) return false;
  return true;
}

// The escapes repr() gives str and bytes alike: the quote, the backslash,
// and the three common controls. False for any other character.
bool append_common_escape(std::string& out, std::uint32_t c, char quote) {
  if (c == static_cast<unsigned char>(quote) || c == '\\') {
    out += '\\';
    out += static_cast<char>(c);
  } else if (c == '\n') {
    out += "\\n";
  } else if (c == '\r') {
    out += "\\r";
  } else if (c == '\t') {
    out += "\\t";
  } else {
    return false;
  }
  return true;
}

}  // namespace

void append_string_repr(std::string& out, std::string_view text) {
  const bool double_quote =
      text.find('\'') != std::string_view::npos && text.find('"') == std::string_view::npos;
  const char quote = double_quote ? '"' : '\'';
  out += quote;
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t start = i;
    const std::size_t length = zarn::text::utf8_character_length(text.substr(i));
    if (length == 0) {
      append_hex(out, 'x', static_cast<unsigned char>(text[i++]), 2);
      continue;
    }
    i += length;
    const std::uint32_t c = zarn::text::utf8_code_point(text.substr(start), length);
    if (append_common_escape(out, c, quote)) continue;
    if (!printable(c)) {
      if (c <= 0xff) {
        append_hex(out, 'x', c, 2);
      } else if (c <= 0xffff) {
        append_hex(out, 'u', c, 4);
      } else {
        append_hex(out, 'U', c, 8);
      }
    } else {
      out.append(text.substr(start, i - start));
    }
  }
  out += quote;
}

void append_bytes_repr(std::string& out, std::string_view bytes) {
  const bool double_quote =
      bytes.find('\'') != std::string_view::npos && bytes.find('"') == std::string_view::npos;
  const char quote = double_quote ? '"' : '\'';
  out += 'b';
  out += quote;
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    if (append_common_escape(out, byte, quote)) continue;
    if (byte < 0x20 || byte >= 0x7f) {
      append_hex(out, 'x', byte, 2);
    } else {
      out += c;
    }
  }
  out += quote;
}

}  // namespace zarn::yaml::detail
