#pragma once

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "os/environment.h"
#include "os/interrupt.h"

namespace zarn::os {

struct ProcessResult {
  int exit_status = 0;  ///< the exit code; 128 + signal number when killed by a signal
  std::string standard_output;
  std::string standard_error;
};

/// How run_process watches its child.
struct ProcessOptions {
  /// Polled while the child runs. On a signal the child (and whatever it
  /// started) gets the same signal, has kill_grace to end, then SIGKILL, and
  /// run_process throws Interrupted.
  InterruptPoll pending_interrupt;
  /// Past it the child and its descendants are killed and run_process throws
  /// ProcessTimeLimit naming the program. Absent: no limit.
  std::optional<std::chrono::milliseconds> time_limit;
  /// The head of each output stream that is kept; the rest is read and dropped.
  std::size_t capture_limit = 64 * 1024;
  std::chrono::milliseconds kill_grace = std::chrono::seconds(5);
  /// The child's whole environment; absent, it inherits this process's.
  std::optional<Environment> environment;
  /// The child's working folder; empty, it shares ours.
  std::filesystem::path working_dir;
};

/// A child that ran past its time limit (and was killed).
class ProcessTimeLimit : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

/// Runs argv[0] (looked up on PATH when it has no "/") with the arguments,
/// without a shell, no standard input, in a process group of its own, both
/// output streams captured without deadlock (their heads, see options), and
/// no descriptor of ours leaked into the child. Waits for it to end; once it
/// has ended, output still held open by a process it left behind is read for
/// a moment only. Throws std::runtime_error when it cannot be started.
ProcessResult run_process(const std::vector<std::string>& argv, const ProcessOptions& options = {});

}  // namespace zarn::os
