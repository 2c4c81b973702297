#pragma once

#include <string_view>

namespace zarn::migrate {

/// The line that frames the summaries.
inline constexpr std::string_view kSeparator =
    "============================================================";

}  // namespace zarn::migrate
