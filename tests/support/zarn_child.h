#pragma once

#include <sys/types.h>

#include "support/run_zarn.h"

namespace zarn::testing {

/// The zarn binary running in the background, so a test can signal it
/// mid-run. Its output is discarded, or written to the files "out" and
/// "err" in output_folder when one is given. Killed and reaped when destroyed.
class ZarnChild {
 public:
  explicit ZarnChild(const ZarnInvocation& invocation,
                     const std::filesystem::path& output_folder = {});
  ~ZarnChild();
  ZarnChild(const ZarnChild&) = delete;
  ZarnChild& operator=(const ZarnChild&) = delete;

  void signal(int number) const;
  /// Waits for the end; the exit code, or 128 + signal number.
  int wait();

 private:
  pid_t pid_ = -1;
  bool reaped_ = false;
  int status_ = -1;
};

/// The pid of a process that has ended and been reaped: what a lock or a
/// temporary file left by a holder that is gone names.
pid_t ended_process();

}  // namespace zarn::testing
