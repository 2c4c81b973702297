#pragma once

#include <exception>
#include <string>
#include <string_view>

namespace zarn::os {

/// The one line an error that reached the host's edge is told by. zarn's own
/// errors name their file or address and are told as they are; what the
/// standard library throws on its own ("std::bad_alloc", "basic_string::substr",
/// "Resource temporarily unavailable") says nothing of where, so it is told
/// with the operation that was running ("zarn target sync").
std::string error_text(const std::exception& error, std::string_view operation);

}  // namespace zarn::os
