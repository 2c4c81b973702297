#include "host/printable.h"

#include <fmt/format.h>

namespace zarn::host {
namespace {

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
      out += fmt::format("\\x{:02x}", code);
  }
}

}  // namespace

std::string printable(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if (byte < 0x20 || byte == 0x7f) {
      append_escape(out, byte);
      continue;
    }
    // U+0080..U+009F are encoded as C2 80..C2 9F.
    const auto next = i + 1 < text.size() ? static_cast<unsigned char>(text[i + 1]) : 0u;
    if (byte == 0xc2 && next >= 0x80 && next <= 0x9f) {
      append_escape(out, next);
      ++i;
      continue;
    }
    out += text[i];
  }
  return out;
}

}  // namespace zarn::host
