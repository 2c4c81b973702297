#pragma once

#include <csignal>

namespace zarn::cli {

/// What the zarn process returns to its caller.
enum ExitStatus : int {
  kExitSuccess = 0,
  kExitFailure = 1,       ///< the command ran and failed, or something in it did
  kExitUsage = 2,         ///< the command line could not be parsed
  kExitInterrupt = 130,   ///< stopped by Ctrl-C (128 + SIGINT)
  kExitTerminated = 143,  ///< stopped by SIGTERM (128 + SIGTERM)
};

/// The status of a run that a signal stopped: 130 for SIGINT, 143 for SIGTERM.
constexpr ExitStatus exit_status_for_signal(int signal) {
  return signal == SIGTERM ? kExitTerminated : kExitInterrupt;
}

/// kExitSuccess when ok, else kExitFailure.
constexpr ExitStatus exit_status_of(bool ok) {
  return ok ? kExitSuccess : kExitFailure;
}

}  // namespace zarn::cli
