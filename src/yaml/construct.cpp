#include "yaml/construct.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "yaml/base64.h"
#include "yaml/bigint.h"
#include "yaml/node_data.h"

namespace zarn::yaml::detail {
namespace {

// Converting other bases to decimal is quadratic; no real file needs more.
constexpr std::size_t kMaxNonDecimalDigits = 10000;

std::string without_underscores(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    if (c != '_') out += c;
  }
  return out;
}

// The message never quotes the text: it may be a password or a token that
// was given the wrong tag, and errors end up in terminals and logs.
[[noreturn]] void cannot_read(std::string_view tag, std::string_view reason = {}) {
  std::string message = "cannot read this value as !!";
  message += tag;
  if (!reason.empty()) {
    message += " (";
    message += reason;
    message += ')';
  }
  throw ScalarError(message);
}

Integer construct_int(std::string_view text) {
  std::string value = without_underscores(text);
  bool negative = false;
  std::string_view v = value;
  if (!v.empty() && (v.front() == '-' || v.front() == '+')) {
    negative = v.front() == '-';
    v.remove_prefix(1);
  }
  const auto fail = []() -> Integer { cannot_read("int"); };
  if (v.empty()) return fail();
  if (v == "0") return Integer();
  const bool decimal = v[0] != '0' && v.find(':') == std::string_view::npos;
  if (!decimal && v.size() > kMaxNonDecimalDigits) {
    cannot_read("int", "more than " + std::to_string(kMaxNonDecimalDigits) + " digits");
  }
  try {
    if (v.starts_with("0b") || v.starts_with("0x")) {
      if (v.size() == 2) return fail();  // "0b_": digits were all underscores
      return integer_from_base(v.substr(2), v[1] == 'b' ? 2 : 16, negative);
    }
    if (v[0] == '0') return integer_from_base(v.substr(1), 8, negative);
    if (v.find(':') != std::string_view::npos) return integer_from_sexagesimal(v, negative);
    return Integer::from_decimal(value);
  } catch (const std::invalid_argument&) {
    return fail();
  }
}

// Python's float() of a decimal literal (digits, point, exponent; no sign).
std::optional<double> decimal_float(std::string_view v) {
  std::size_t i = 0;
  std::size_t mantissa_digits = 0;
  std::size_t whole_digits = 0;
  std::size_t first_nonzero = std::string_view::npos;
  while (i < v.size() && std::isdigit(static_cast<unsigned char>(v[i]))) {
    if (v[i] != '0' && first_nonzero == std::string_view::npos) first_nonzero = mantissa_digits;
    ++i, ++mantissa_digits, ++whole_digits;
  }
  if (i < v.size() && v[i] == '.') {
    ++i;
    while (i < v.size() && std::isdigit(static_cast<unsigned char>(v[i]))) {
      if (v[i] != '0' && first_nonzero == std::string_view::npos) first_nonzero = mantissa_digits;
      ++i, ++mantissa_digits;
    }
  }
  if (mantissa_digits == 0) return std::nullopt;
  long exponent = 0;
  if (i < v.size() && (v[i] == 'e' || v[i] == 'E')) {
    ++i;
    const bool negative = i < v.size() && v[i] == '-';
    if (i < v.size() && (v[i] == '-' || v[i] == '+')) ++i;
    const std::size_t start = i;
    while (i < v.size() && std::isdigit(static_cast<unsigned char>(v[i]))) {
      if (exponent < 100000) exponent = exponent * 10 + (v[i] - '0');
      ++i;
    }
    if (i == start) return std::nullopt;
    if (negative) exponent = -exponent;
  }
  if (i != v.size()) return std::nullopt;
  double value = 0;
  const auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), value);
  if (ec == std::errc::result_out_of_range) {
    // Too large or too small: which one follows from the leading digit's place.
    const long place =
        static_cast<long>(whole_digits) - static_cast<long>(first_nonzero) + exponent;
    return place > 0 ? std::numeric_limits<double>::infinity() : 0.0;
  }
  if (ec != std::errc() || end != v.data() + v.size()) return std::nullopt;
  return value;
}

double construct_float(std::string_view text, bool lenient) {
  std::string value = without_underscores(text);
  for (char& c : value) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  std::string_view v = value;
  double sign = 1;
  if (!v.empty() && (v.front() == '-' || v.front() == '+')) {
    sign = v.front() == '-' ? -1 : 1;
    v.remove_prefix(1);
  }
  const double inf = std::numeric_limits<double>::infinity();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  if (v == ".inf" || (lenient && (v == "inf" || v == "infinity"))) return sign * inf;
  if (v == ".nan" || (lenient && v == "nan")) return nan;
  if (v.find(':') != std::string_view::npos) {
    // Summed from the last part up, as PyYAML does, for the same rounding.
    std::vector<double> parts;
    std::size_t start = 0;
    for (;;) {
      const std::size_t colon = v.find(':', start);
      const auto part = decimal_float(v.substr(start, colon - start));
      if (!part) cannot_read("float");
      parts.push_back(*part);
      if (colon == std::string_view::npos) break;
      start = colon + 1;
    }
    double total = 0;
    double base = 1;
    for (auto it = parts.rbegin(); it != parts.rend(); ++it) {
      total += *it * base;
      base *= 60;
    }
    return sign * total;
  }
  const auto parsed = decimal_float(v);
  if (!parsed) cannot_read("float");
  return sign * *parsed;
}

int number(std::string_view digits) {
  int value = 0;
  std::from_chars(digits.data(), digits.data() + digits.size(), value);
  return value;
}

Timestamp construct_timestamp(std::string_view text, bool strict_date) {
  const auto parts = split_timestamp(text, strict_date);
  if (!parts) cannot_read("timestamp");
  Timestamp t;
  t.year = number(parts->year);
  t.month = number(parts->month);
  t.day = number(parts->day);
  if (parts->has_time) {
    t.has_time = true;
    t.hour = number(parts->hour);
    t.minute = number(parts->minute);
    t.second = number(parts->second);
    // Microseconds: the first six digits, the rest dropped (not rounded).
    std::string fraction(parts->fraction.substr(0, 6));
    fraction.resize(6, '0');
    t.microsecond = number(fraction);
    if (parts->zone == "Z") {
      t.utc_offset_minutes = 0;
    } else if (!parts->zone.empty()) {
      const std::string_view zone = parts->zone.substr(1);
      const std::size_t colon = zone.find(':');
      int minutes = number(zone.substr(0, colon)) * 60;
      if (colon != std::string_view::npos) minutes += number(zone.substr(colon + 1));
      t.utc_offset_minutes = parts->zone.front() == '-' ? -minutes : minutes;
    }
  }
  if (!timestamp_valid(t)) cannot_read("timestamp", "no such date or time");
  return t;
}

bool construct_bool(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  if (lower == "yes" || lower == "true" || lower == "on") return true;
  if (lower == "no" || lower == "false" || lower == "off") return false;
  cannot_read("bool");
}

// "int" for "tag:yaml.org,2002:int"; "" for a tag outside that family.
std::string_view tag_name(std::string_view tag) {
  return tag.starts_with(kTagPrefix) ? tag.substr(kTagPrefix.size()) : std::string_view();
}

// A tag is the user's text ("password: !Secr3t" reads as one): only the
// standard names this loader knows are ever quoted.
[[noreturn]] void unknown_tag(std::string_view tag) {
  const std::string_view name = tag_name(tag);
  if (name == "omap" || name == "pairs") {
    throw ScalarError("the tag '" + std::string(tag) + "' is not supported");
  }
  throw ScalarError("could not determine a constructor for this tag");
}

}  // namespace

Node construct_plain(std::string_view text, PlainType type) {
  switch (type) {
    case PlainType::Null:
      return Node();
    case PlainType::Bool:
      return Node::boolean(construct_bool(text));
    case PlainType::Int:
      return Node::integer(construct_int(text));
    case PlainType::Float:
      return Node::floating(construct_float(text, false));
    case PlainType::Timestamp:
      return Node::timestamp(construct_timestamp(text, true));
    case PlainType::String:
      return Node::string(std::string(text));
    case PlainType::Merge:
    case PlainType::Value:
      break;
  }
  throw ScalarError("not a value");
}

Node construct_tagged(std::string_view text, std::string_view tag) {
  const std::string_view name = tag_name(tag);
  if (name == "str") return Node::string(std::string(text));
  if (name == "null") return Node();
  if (name == "bool") return Node::boolean(construct_bool(text));
  if (name == "int") {
    if (resolve_plain(text) != PlainType::Int) cannot_read("int");
    return Node::integer(construct_int(text));
  }
  if (name == "float") return Node::floating(construct_float(text, true));
  if (name == "timestamp") return Node::timestamp(construct_timestamp(text, false));
  if (name == "binary") {
    auto bytes = base64_decode(text);
    if (!bytes) cannot_read("binary", "not valid base64");
    return Node::binary(std::move(*bytes));
  }
  if (name == "seq" || name == "map" || name == "set") {
    throw ScalarError(std::string("expected a ") + (name == "seq" ? "sequence" : "mapping") +
                      " node, but found scalar");
  }
  unknown_tag(tag);
}

bool tagged_as_set(std::string_view tag, bool mapping) {
  const std::string_view name = tag_name(tag);
  const std::string_view found = mapping ? "mapping" : "sequence";
  if (name == (mapping ? "map" : "seq")) return false;
  if (mapping && name == "set") return true;
  if (name == "str" || name == "int" || name == "float" || name == "bool" || name == "null" ||
      name == "timestamp" || name == "binary") {
    throw ScalarError("expected a scalar node, but found " + std::string(found));
  }
  if (name == "seq" || name == "map" || name == "set") {
    throw ScalarError(std::string("expected a ") + (name == "seq" ? "sequence" : "mapping") +
                      " node, but found " + std::string(found));
  }
  unknown_tag(tag);
}

}  // namespace zarn::yaml::detail
