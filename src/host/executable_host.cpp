#include "host/executable_host.h"

#include <unistd.h>

#include <iostream>

#include "host/compute_registry.h"
#include "host/interpreter.h"
#include "host/lock_waiting.h"
#include "host/module_lookup.h"
#include "host/yaml_helper.h"
#include "os/interrupt.h"

namespace zarn::host {

ExecutableHost::ExecutableHost() : ExecutableHost(os::Environment::from_process()) {}

// Copied, not moved: the printer reads it, and arguments have no set order.
ExecutableHost::ExecutableHost(const os::Environment& environment)
    : ExecutableHost(terminal::Printer::for_process(environment), environment) {}

ExecutableHost::ExecutableHost(terminal::Printer printer, os::Environment environment,
                               os::LocalClock clock)
    : printer_(printer),
      environment_(std::move(environment)),
      clock_(std::move(clock)),
      progress_(STDERR_FILENO, printer_.stderr_is_smart_terminal()) {}

void ExecutableHost::echo(std::string_view line) {
  progress_.erase();
  printer_.line(line);
}

yaml::Node ExecutableHost::load_yaml_text(const std::string& text, const std::string& source) {
  return host::load_yaml_text(text, source);
}

std::unique_ptr<ComputeRegistry> ExecutableHost::compute_registry(const std::string& project_dir) {
  return std::make_unique<FileComputeRegistry>(project_dir, waiting_of(*this));
}

std::filesystem::path ExecutableHost::interpreter() {
  return find_interpreter(environment_);
}

std::set<std::string> ExecutableHost::find_modules(const std::vector<std::string>& modules) {
  return find_modules_in_child(
      interpreter(), modules, [this] { return pending_interrupt(); }, std::chrono::seconds(30),
      environment_);
}

void ExecutableHost::notice(std::string_view line) {
  progress_.erase();
  printer_.note("zarn: " + std::string(line));
}

int ExecutableHost::pending_interrupt() {
  return os::interrupt_signal();
}

}  // namespace zarn::host
