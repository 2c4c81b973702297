#pragma once

#include <ctime>
#include <functional>

namespace zarn::os {

/// Local wall-clock time, for backup file names.
using LocalClock = std::function<std::tm()>;
std::tm system_local_time();

}  // namespace zarn::os
