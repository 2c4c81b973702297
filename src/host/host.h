#pragma once

#include <ctime>
#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "host/compute_config.h"
#include "os/environment.h"
#include "os/interrupt.h"
#include "yaml/node.h"

namespace zarn::host {

/// Everything a task takes from the program that runs it: the zarn
/// executable, or a Python host that imports the tasks as plug-in modules.
/// The tasks never learn which.
class Host {
 public:
  virtual ~Host() = default;

  /// Prints one line of task output followed by a line break.
  virtual void echo(std::string_view line) = 0;
  /// The environment variables as they are now.
  virtual os::Environment environment() const = 0;
  /// Local wall-clock time, for backup names.
  virtual std::tm local_time() const = 0;
  /// The host's YAML loader, for the profiles and project files the sync reads.
  virtual yaml::Node load_yaml_text(const std::string& text, const std::string& source) = 0;
  /// The host's compute registry of a project folder.
  virtual std::unique_ptr<ComputeRegistry> compute_registry(const std::string& project_dir) = 0;
  /// The interpreter whose package installer manages the adapters.
  virtual std::filesystem::path interpreter() = 0;
  /// The names among modules that the interpreter can find.
  virtual std::set<std::string> find_modules(const std::vector<std::string>& modules) = 0;
  /// The signal that asks the run to stop (SIGINT, SIGTERM), or 0. Long waits
  /// poll it a few times a second.
  virtual int pending_interrupt() = 0;
  /// Shows a transient status line (live progress) in place of the previous
  /// one; an empty text erases it. A host without a terminal ignores it.
  virtual void show_progress(std::string_view /*status*/) {}
  /// Tells the user something apart from the task's output (on standard
  /// error): a warning, or why the run is held up. Ignored by default.
  virtual void notice(std::string_view /*line*/) {}
};

/// Throws os::Interrupted when the host asks the run to stop.
inline void throw_if_interrupted(Host& host) {
  if (const int signal = host.pending_interrupt(); signal != 0) throw os::Interrupted(signal);
}

}  // namespace zarn::host
