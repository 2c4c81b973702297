#pragma once

#include <chrono>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "host/interrupt.h"

namespace zarn::host {

/// The names among modules that the interpreter can find, asked of one child
/// interpreter for all of them. A module whose parent package is missing is
/// not found; the working folder is not searched. Throws std::runtime_error
/// naming the interpreter when it cannot answer, or has not answered within
/// time_limit (a hanging interpreter is a broken environment), and
/// Interrupted when pending_interrupt reports a signal.
std::set<std::string> find_modules_in_child(
    const std::filesystem::path& interpreter, const std::vector<std::string>& modules,
    InterruptPoll pending_interrupt = {},
    std::chrono::milliseconds time_limit = std::chrono::seconds(30));

}  // namespace zarn::host
