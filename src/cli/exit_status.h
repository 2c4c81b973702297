#pragma once

#include <csignal>

namespace zarn::cli {

/// What the zarn process returns to its caller.
enum ExitStatus : int {
  kExitSuccess = 0,
  kExitFailure = 1,       ///< the command ran and failed, or something in it did
  kExitUsage = 2,         ///< the command line could not be parsed
  kExitHangup = 129,      ///< stopped by SIGHUP: the terminal closed (128 + SIGHUP)
  kExitInterrupt = 130,   ///< stopped by Ctrl-C (128 + SIGINT)
  kExitQuit = 131,        ///< stopped by SIGQUIT (128 + SIGQUIT)
  kExitTerminated = 143,  ///< stopped by SIGTERM (128 + SIGTERM)
};

/// The status of a run that a signal stopped: 128 + the signal's number.
constexpr ExitStatus exit_status_for_signal(int signal) {
  switch (signal) {
    case SIGHUP:
      return kExitHangup;
    case SIGQUIT:
      return kExitQuit;
    case SIGTERM:
      return kExitTerminated;
    default:
      return kExitInterrupt;
  }
}

/// kExitSuccess when ok, else kExitFailure.
constexpr ExitStatus exit_status_of(bool ok) {
  return ok ? kExitSuccess : kExitFailure;
}

}  // namespace zarn::cli
