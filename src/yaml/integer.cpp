#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <stdexcept>
#include <vector>

#include "yaml/bigint.h"

namespace zarn::yaml {
namespace {

bool all_digits(std::string_view text) {
  return !text.empty() &&
         std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// A non-negative number in base 10^9 limbs, least significant first: just
// enough arithmetic to turn other bases into decimal text.
class Magnitude {
 public:
  static constexpr std::uint32_t kLimb = 1000000000;

  void multiply_add(std::uint32_t factor, std::uint32_t addend) {
    std::uint64_t carry = addend;
    for (std::uint32_t& limb : limbs_) {
      const std::uint64_t product = std::uint64_t{limb} * factor + carry;
      limb = static_cast<std::uint32_t>(product % kLimb);
      carry = product / kLimb;
    }
    while (carry != 0) {
      limbs_.push_back(static_cast<std::uint32_t>(carry % kLimb));
      carry /= kLimb;
    }
  }

  /// Appends decimal digits, 9 per limb-sized step.
  void add_decimal(std::string_view digits) {
    while (!digits.empty()) {
      const std::size_t take = std::min<std::size_t>(9, digits.size());
      std::uint32_t chunk = 0;
      std::uint32_t scale = 1;
      for (std::size_t i = 0; i < take; ++i) {
        chunk = chunk * 10 + static_cast<std::uint32_t>(digits[i] - '0');
        scale *= 10;
      }
      multiply_add(scale, chunk);
      digits.remove_prefix(take);
    }
  }

  std::string decimal(bool negative) const {
    std::size_t top = limbs_.size();
    while (top > 0 && limbs_[top - 1] == 0) --top;
    if (top == 0) return "0";
    std::string text = negative ? "-" : "";
    text += std::to_string(limbs_[top - 1]);
    for (std::size_t i = top - 1; i-- > 0;) {
      const std::string part = std::to_string(limbs_[i]);
      text.append(9 - part.size(), '0');
      text += part;
    }
    return text;
  }

 private:
  std::vector<std::uint32_t> limbs_;
};

unsigned digit_value(char c) {
  if (c >= '0' && c <= '9') return static_cast<unsigned>(c - '0');
  if (c >= 'a' && c <= 'f') return static_cast<unsigned>(c - 'a' + 10);
  if (c >= 'A' && c <= 'F') return static_cast<unsigned>(c - 'A' + 10);
  return 99;
}

}  // namespace

Integer::Integer(std::int64_t value) : decimal_(std::to_string(value)) {}

Integer Integer::from_decimal(std::string_view text) {
  bool negative = false;
  if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  if (!all_digits(text)) {
    throw std::invalid_argument("not a decimal integer: '" + std::string(text) + "'");
  }
  const std::size_t first = text.find_first_not_of('0');
  Integer result;
  if (first != std::string_view::npos) {
    result.decimal_ = negative ? "-" : "";
    result.decimal_.append(text.substr(first));
  }
  return result;
}

std::optional<std::int64_t> Integer::to_int64() const {
  std::int64_t value = 0;
  const auto [end, ec] = std::from_chars(decimal_.data(), decimal_.data() + decimal_.size(), value);
  if (ec != std::errc() || end != decimal_.data() + decimal_.size()) return std::nullopt;
  return value;
}

double Integer::to_double() const {
  double value = 0;
  const auto [end, ec] = std::from_chars(decimal_.data(), decimal_.data() + decimal_.size(), value);
  (void)end;
  if (ec == std::errc::result_out_of_range) {
    // Out of range for a whole number can only mean too large.
    return decimal_.front() == '-' ? -std::numeric_limits<double>::infinity()
                                   : std::numeric_limits<double>::infinity();
  }
  return value;
}

std::strong_ordering operator<=>(const Integer& a, const Integer& b) {
  const bool a_negative = a.decimal_.front() == '-';
  const bool b_negative = b.decimal_.front() == '-';
  if (a_negative != b_negative) {
    return a_negative ? std::strong_ordering::less : std::strong_ordering::greater;
  }
  std::strong_ordering magnitude = a.decimal_.size() <=> b.decimal_.size();
  if (magnitude == 0) magnitude = a.decimal_.compare(b.decimal_) <=> 0;
  if (!a_negative) return magnitude;
  return 0 <=> magnitude;
}

namespace detail {

Integer integer_from_base(std::string_view digits, unsigned base, bool negative) {
  Magnitude magnitude;
  std::uint32_t chunk = 0;
  std::uint32_t scale = 1;
  for (const char c : digits) {
    const unsigned value = digit_value(c);
    if (value >= base) throw std::invalid_argument("bad digit in integer literal");
    chunk = chunk * base + value;
    scale *= base;
    if (scale >= (1u << 24)) {
      magnitude.multiply_add(scale, chunk);
      chunk = 0;
      scale = 1;
    }
  }
  if (scale > 1) magnitude.multiply_add(scale, chunk);
  return Integer::from_decimal(magnitude.decimal(negative));
}

Integer integer_from_sexagesimal(std::string_view text, bool negative) {
  Magnitude magnitude;
  std::size_t colon = text.find(':');
  const std::string_view head = text.substr(0, colon);
  if (!all_digits(head)) throw std::invalid_argument("bad sexagesimal integer");
  magnitude.add_decimal(head);
  while (colon != std::string_view::npos) {
    text.remove_prefix(colon + 1);
    colon = text.find(':');
    const std::string_view part = text.substr(0, colon);
    std::uint32_t value = 0;
    const auto [end, ec] = std::from_chars(part.data(), part.data() + part.size(), value);
    if (ec != std::errc() || end != part.data() + part.size() || value >= 1000) {
      throw std::invalid_argument("bad sexagesimal integer");
    }
    magnitude.multiply_add(60, value);
  }
  return Integer::from_decimal(magnitude.decimal(negative));
}

Integer integer_from_double(double integral) {
  if (integral == 0) return Integer();
  if (std::fabs(integral) < 9.0e18) return Integer(static_cast<std::int64_t>(integral));
  // With a precision, to_chars gives the exact digits, not the shortest ones.
  char buffer[400];
  const auto [end, ec] =
      std::to_chars(buffer, buffer + sizeof buffer, integral, std::chars_format::fixed, 0);
  if (ec != std::errc()) throw std::invalid_argument("not a finite number");
  return Integer::from_decimal(std::string_view(buffer, static_cast<std::size_t>(end - buffer)));
}

}  // namespace detail
}  // namespace zarn::yaml
