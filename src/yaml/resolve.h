#pragma once

#include <optional>
#include <string_view>

#include "yaml/node.h"

namespace zarn::yaml {

/// What PyYAML's implicit resolver makes of a plain (unquoted, untagged)
/// scalar. Merge is `<<` (the merge key) and Value is `=`; neither is a value.
enum class PlainType { Null, Bool, Int, Float, Timestamp, String, Merge, Value };

/// Shared by load and dump so they can never disagree.
PlainType resolve_plain(std::string_view text);

/// The fields of a timestamp literal, before range checks.
struct TimestampText {
  std::string_view year, month, day;
  bool has_time = false;
  std::string_view hour, minute, second, fraction;
  std::string_view zone;  ///< "", "Z" or like "+5", "-05:30"
};

/// Splits a timestamp literal. With strict_date, a date alone needs two-digit
/// month and day (the implicit form); an explicit !!timestamp accepts one.
std::optional<TimestampText> split_timestamp(std::string_view text, bool strict_date);

}  // namespace zarn::yaml
