#pragma once

#include <string_view>

namespace zarn::net {

/// The reason phrase of common HTTP statuses ("Not Found"); empty when unknown.
std::string_view http_reason_phrase(long status);

}  // namespace zarn::net
