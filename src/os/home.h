#pragma once

#include <filesystem>

#include "host/context.h"

namespace zarn::host {

/// The user's home folder: $HOME when set and not empty, else the password
/// database's entry for this user. Throws std::runtime_error when neither exists.
std::filesystem::path home_dir(const Environment& environment);

}  // namespace zarn::host
