#include "yaml/resolve.h"

#include <algorithm>
#include <array>

namespace zarn::yaml {
namespace {

bool is_digit(char c) {
  return c >= '0' && c <= '9';
}

// A cursor over the text, for the hand-written equivalents of the resolver's
// regular expressions (std::regex is far too slow for every scalar).
class Scan {
 public:
  explicit Scan(std::string_view text) : text_(text) {}
  bool done() const { return pos_ == text_.size(); }
  char peek() const { return done() ? '\0' : text_[pos_]; }
  bool take(char c) {
    if (peek() != c || done()) return false;
    ++pos_;
    return true;
  }
  bool take_sign() { return take('-') || take('+'); }
  /// Takes the longest run of characters in set; returns its length.
  template <class Pred>
  std::size_t run(Pred in_set) {
    const std::size_t start = pos_;
    while (!done() && in_set(text_[pos_])) ++pos_;
    return pos_ - start;
  }
  std::string_view since(std::size_t start) const { return text_.substr(start, pos_ - start); }
  std::size_t pos() const { return pos_; }

 private:
  std::string_view text_;
  std::size_t pos_ = 0;
};

const auto kDigitOrUnderscore = [](char c) { return is_digit(c) || c == '_'; };

// (:[0-5]?[0-9])+ — at least one part.
bool take_sexagesimal_parts(Scan& s) {
  int parts = 0;
  while (s.take(':')) {
    const std::size_t start = s.pos();
    const std::size_t n = s.run(is_digit);
    if (n == 0 || n > 2 || (n == 2 && s.since(start)[0] > '5')) return false;
    ++parts;
  }
  return parts > 0;
}

// ([eE][-+][0-9]+)? then the end.
bool exponent_then_end(Scan& s) {
  if (s.take('e') || s.take('E')) {
    if (!s.take_sign() || s.run(is_digit) == 0) return false;
  }
  return s.done();
}

bool is_bool(std::string_view t) {
  static constexpr std::array<std::string_view, 18> kWords = {
      "yes",   "Yes",   "YES",   "no", "No", "NO", "true", "True", "TRUE",
      "false", "False", "FALSE", "on", "On", "ON", "off",  "Off",  "OFF"};
  return std::find(kWords.begin(), kWords.end(), t) != kWords.end();
}

bool is_null(std::string_view t) {
  return t.empty() || t == "~" || t == "null" || t == "Null" || t == "NULL";
}

bool is_float(std::string_view t) {
  if (t == ".nan" || t == ".NaN" || t == ".NAN") return true;
  Scan s(t);
  const bool signed_ = s.take_sign();
  if (s.peek() == '.') {
    const std::string_view rest = t.substr(s.pos());
    if (rest == ".inf" || rest == ".Inf" || rest == ".INF") return true;
    if (signed_) return false;  // only [-+]?\.inf takes a sign
    s.take('.');
    return is_digit(s.peek()) && s.run(kDigitOrUnderscore) > 0 && exponent_then_end(s);
  }
  if (!is_digit(s.peek())) return false;
  s.run(kDigitOrUnderscore);
  if (s.take('.')) {
    s.run(kDigitOrUnderscore);
    return exponent_then_end(s);
  }
  if (s.peek() != ':' || !take_sexagesimal_parts(s) || !s.take('.')) return false;
  s.run(kDigitOrUnderscore);
  return s.done();
}

bool is_int(std::string_view t) {
  Scan s(t);
  s.take_sign();
  if (s.take('0')) {
    if (s.done()) return true;
    if (s.take('b'))
      return s.run([](char c) { return c == '0' || c == '1' || c == '_'; }) > 0 && s.done();
    if (s.take('x')) {
      return s.run([](char c) {
        return is_digit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F') || c == '_';
      }) > 0 &&
             s.done();
    }
    return s.run([](char c) { return (c >= '0' && c <= '7') || c == '_'; }) > 0 && s.done();
  }
  if (s.peek() < '1' || s.peek() > '9') return false;
  s.run(kDigitOrUnderscore);
  if (s.done()) return true;
  return take_sexagesimal_parts(s) && s.done();
}

std::optional<std::string_view> digits(Scan& s, std::size_t min, std::size_t max) {
  const std::size_t start = s.pos();
  const std::size_t n = s.run(is_digit);
  if (n < min || n > max) return std::nullopt;
  return s.since(start);
}

/// Digits, then the separator when one is given; absent when either is missing.
std::optional<std::string_view> field(Scan& s, std::size_t min, std::size_t max,
                                      char separator = 0) {
  const auto value = digits(s, min, max);
  if (!value || (separator != 0 && !s.take(separator))) return std::nullopt;
  return value;
}

bool is_blank(char c) {
  return c == ' ' || c == '\t';
}

}  // namespace

std::optional<TimestampText> split_timestamp(std::string_view text, bool strict_date) {
  Scan s(text);
  TimestampText t;
  const auto year = field(s, 4, 4, '-');
  const auto month = field(s, 1, 2, '-');
  const auto day = field(s, 1, 2);
  if (!year || !month || !day) return std::nullopt;
  t.year = *year;
  t.month = *month;
  t.day = *day;
  if (s.done()) {
    if (strict_date && (month->size() != 2 || day->size() != 2)) return std::nullopt;
    return t;
  }
  if (!s.take('T') && !s.take('t') && s.run(is_blank) == 0) return std::nullopt;
  const auto hour = field(s, 1, 2, ':');
  const auto minute = field(s, 2, 2, ':');
  const auto second = field(s, 2, 2);
  if (!hour || !minute || !second) return std::nullopt;
  t.has_time = true;
  t.hour = *hour;
  t.minute = *minute;
  t.second = *second;
  if (s.take('.')) {
    const std::size_t start = s.pos();
    s.run(is_digit);
    t.fraction = s.since(start);
  }
  const std::size_t blanks = s.run(is_blank);
  const std::size_t zone_start = s.pos();
  if (s.take_sign()) {
    if (!digits(s, 1, 2)) return std::nullopt;
    if (s.take(':') && !digits(s, 2, 2)) return std::nullopt;
  } else if (!s.take('Z') && blanks != 0) {
    return std::nullopt;  // blanks must lead to a zone
  }
  t.zone = s.since(zone_start);
  if (!s.done()) return std::nullopt;
  return t;
}

PlainType resolve_plain(std::string_view text) {
  // As PyYAML, the first character picks the candidate rules.
  const char first = text.empty() ? '\0' : text.front();
  switch (first) {
    case '\0':
      return PlainType::Null;
    case '~':
      return text.size() == 1 ? PlainType::Null : PlainType::String;
    case '<':
      return text == "<<" ? PlainType::Merge : PlainType::String;
    case '=':
      return text.size() == 1 ? PlainType::Value : PlainType::String;
    case 'n':
    case 'N':
      if (is_null(text)) return PlainType::Null;
      return is_bool(text) ? PlainType::Bool : PlainType::String;
    case 'y':
    case 'Y':
    case 't':
    case 'T':
    case 'f':
    case 'F':
    case 'o':
    case 'O':
      return is_bool(text) ? PlainType::Bool : PlainType::String;
    default:
      break;
  }
  if (!is_digit(first) && first != '-' && first != '+' && first != '.') return PlainType::String;
  if (is_float(text)) return PlainType::Float;
  if (is_int(text)) return PlainType::Int;
  if (is_digit(first) && split_timestamp(text, true)) return PlainType::Timestamp;
  return PlainType::String;
}

}  // namespace zarn::yaml
