#pragma once

#include <string>
#include <string_view>

#include "cli/exit_status.h"
#include "host/executable_host.h"
#include "task/provell/provell_task.h"

namespace zarn::cli {

/// text as a JSON string. The YAML reader accepts only UTF-8, so the bytes
/// above 0x7f are kept as they are, except the characters no name may show
/// raw, which JSON escapes as \uXXXX like the controls.
std::string json_string(std::string_view text);

/// `zarn target list`: the connections task's sync would work on, in file
/// order, one line each (or one JSON document). A profiles file that cannot
/// be read is the sync's "✗ Error: ..." text on standard error and a failure.
ExitStatus list_connections(host::ExecutableHost& host, provell::ProvellTask& task, bool json);

}  // namespace zarn::cli
