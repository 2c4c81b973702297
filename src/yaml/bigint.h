#pragma once

// Internal to the yaml library: exact conversion of integer literals.

#include <string_view>

#include "yaml/node.h"

namespace zarn::yaml::detail {

/// Digits in base 2, 8 or 16 (no sign, no underscores, at least one digit).
Integer integer_from_base(std::string_view digits, unsigned base, bool negative);
/// "h:mm:ss"-style text (no sign, no underscores): each part a decimal number, base 60.
Integer integer_from_sexagesimal(std::string_view text, bool negative);
/// The exact value of a finite double without a fractional part.
Integer integer_from_double(double integral);

}  // namespace zarn::yaml::detail
