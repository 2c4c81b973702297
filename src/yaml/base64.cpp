#include "yaml/base64.h"

#include <algorithm>
#include <array>
#include <cstdint>

namespace zarn::yaml::detail {
namespace {

constexpr std::string_view kAlphabet =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr std::size_t kLineLength = 76;

constexpr std::array<std::int8_t, 256> kValues = [] {
  std::array<std::int8_t, 256> values{};
  values.fill(-1);
  for (std::size_t i = 0; i < kAlphabet.size(); ++i) {
    values[static_cast<unsigned char>(kAlphabet[i])] = static_cast<std::int8_t>(i);
  }
  return values;
}();

bool is_space(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

}  // namespace

std::optional<std::string> base64_decode(std::string_view text) {
  std::string out;
  out.reserve(text.size() / 4 * 3);
  std::uint32_t bits = 0;
  std::size_t count = 0;  // data characters read
  std::size_t padding = 0;
  for (const char c : text) {
    if (is_space(c)) continue;
    if (c == '=') {
      ++padding;
      continue;
    }
    const std::int8_t value = kValues[static_cast<unsigned char>(c)];
    if (value < 0 || padding > 0) return std::nullopt;
    bits = (bits << 6) | static_cast<std::uint32_t>(value);
    if (++count % 4 == 0) {
      out += static_cast<char>((bits >> 16) & 0xff);
      out += static_cast<char>((bits >> 8) & 0xff);
      out += static_cast<char>(bits & 0xff);
      bits = 0;
    }
  }
  const std::size_t tail = count % 4;
  if (tail == 1 || (tail != 0 && padding < 4 - tail)) return std::nullopt;
  if (tail == 2) out += static_cast<char>((bits >> 4) & 0xff);
  if (tail == 3) {
    out += static_cast<char>((bits >> 10) & 0xff);
    out += static_cast<char>((bits >> 2) & 0xff);
  }
  return out;
}

std::string base64_lines(std::string_view bytes) {
  std::string flat;
  flat.reserve((bytes.size() + 2) / 3 * 4);
  for (std::size_t i = 0; i < bytes.size(); i += 3) {
    const std::size_t n = std::min<std::size_t>(3, bytes.size() - i);
    std::uint32_t bits = 0;
    for (std::size_t k = 0; k < 3; ++k) {
      bits = (bits << 8) | (k < n ? static_cast<unsigned char>(bytes[i + k]) : 0u);
    }
    for (std::size_t k = 0; k < 4; ++k) {
      flat += k <= n ? kAlphabet[(bits >> (18 - 6 * k)) & 0x3f] : '=';
    }
  }
  std::string text;
  text.reserve(flat.size() + flat.size() / kLineLength + 1);
  for (std::size_t at = 0; at < flat.size(); at += kLineLength) {
    text.append(flat, at, kLineLength);
    text += '\n';
  }
  return text;
}

}  // namespace zarn::yaml::detail
