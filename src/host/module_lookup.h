#pragma once

#include <chrono>
#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "os/environment.h"
#include "os/interrupt.h"

namespace zarn::host {

/// The names among modules that the interpreter can find, asked of one child
/// interpreter for all of them. A module whose parent package is missing is
/// not found; the working folder is not searched. Throws std::runtime_error
/// naming the interpreter when it cannot answer, or has not answered within
/// time_limit (a hanging interpreter is a broken environment), and
/// Interrupted when pending_interrupt reports a signal. The child gets
/// environment, or this process's when absent.
std::set<std::string> find_modules_in_child(
    const std::filesystem::path& interpreter, const std::vector<std::string>& modules,
    os::InterruptPoll pending_interrupt = {},
    std::chrono::milliseconds time_limit = std::chrono::seconds(30),
    std::optional<os::Environment> environment = std::nullopt);

}  // namespace zarn::host
