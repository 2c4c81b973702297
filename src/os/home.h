#pragma once

#include <filesystem>

#include "os/environment.h"

namespace zarn::os {

/// The user's home folder: $HOME when set and not empty, else the password
/// database's entry for this user. Throws std::runtime_error when neither exists.
std::filesystem::path home_dir(const Environment& environment);

}  // namespace zarn::os
