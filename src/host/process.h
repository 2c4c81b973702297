#pragma once

#include <string>
#include <vector>

namespace zarn::host {

struct ProcessResult {
  int exit_status = 0;  ///< the exit code; 128 + signal number when killed by a signal
  std::string standard_output;
  std::string standard_error;
};

/// Runs argv[0] (looked up on PATH when it has no "/") with the arguments,
/// without a shell, no standard input, both output streams captured in full
/// without deadlock, and no descriptor of ours leaked into the child. Waits
/// for it to end. Throws std::runtime_error when it cannot be started.
ProcessResult run_process(const std::vector<std::string>& argv);

}  // namespace zarn::host
