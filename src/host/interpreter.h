#pragma once

#include <filesystem>

#include "os/environment.h"

namespace zarn::host {

/// The Python interpreter whose environment holds the adapters: $ZARN_PYTHON
/// when set, else $VIRTUAL_ENV/bin/python when VIRTUAL_ENV is set, else the
/// first python3 on PATH. Throws std::runtime_error saying how to choose one
/// when none is there to run.
std::filesystem::path find_interpreter(const os::Environment& environment);

}  // namespace zarn::host
