#pragma once

#include <filesystem>
#include <set>
#include <string>
#include <vector>

namespace zarn::host {

/// The names among modules that the interpreter can find, asked of one child
/// interpreter for all of them. A module whose parent package is missing is
/// not found; the working folder is not searched. Throws std::runtime_error
/// naming the interpreter when it cannot answer.
std::set<std::string> find_modules_in_child(const std::filesystem::path& interpreter,
                                            const std::vector<std::string>& modules);

}  // namespace zarn::host
