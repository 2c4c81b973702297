#pragma once

#include "host/host.h"
#include "os/environment.h"
#include "os/local_clock.h"
#include "terminal/printer.h"
#include "terminal/progress_line.h"

namespace zarn::host {

/// The zarn executable as the tasks' host: lines through its printer, a snapshot of
/// the environment, the adapters' interpreter found through it
/// (ZARN_PYTHON, VIRTUAL_ENV, PATH) and asked in a child process, and the
/// interrupt flag that Ctrl-C and SIGTERM set.
class ExecutableHost : public Host {
 public:
  /// The process's printer and environment, and the system clock.
  ExecutableHost();
  ExecutableHost(terminal::Printer printer, os::Environment environment,
                 os::LocalClock clock = os::system_local_time);
  /// Standard output and standard error, with the facts the printer reads from them.
  explicit ExecutableHost(const os::Environment& environment);

  void echo(std::string_view line) override;
  os::Environment environment() const override { return environment_; }
  std::tm local_time() const override { return clock_(); }
  yaml::Node load_yaml_text(const std::string& text, const std::string& source) override;
  std::unique_ptr<ComputeRegistry> compute_registry(const std::string& project_dir) override;
  std::filesystem::path interpreter() override;
  std::set<std::string> find_modules(const std::vector<std::string>& modules) override;
  int pending_interrupt() override;
  void show_progress(std::string_view status) override { progress_.show(status); }
  /// Writes "zarn: {line}" to standard error.
  void notice(std::string_view line) override;

  /// The printer every line of this process goes through.
  terminal::Printer& printer() { return printer_; }

 private:
  terminal::Printer printer_;
  os::Environment environment_;
  os::LocalClock clock_;
  terminal::ProgressLine progress_;  ///< on standard error, when it is a terminal
};

}  // namespace zarn::host
