#include "support/fake_host.h"

#include <utility>

#include "host/compute_registry.h"
#include "host/lock_waiting.h"
#include "host/yaml_helper.h"
#include "os/file_lock.h"

namespace zarn::testing {

FakeHost::FakeHost(const std::filesystem::path& home,
                   std::map<std::string, std::string> extra_variables)
    : variables(std::move(extra_variables)) {
  variables.emplace("HOME", home.string());
}

yaml::Node FakeHost::load_yaml_text(const std::string& text, const std::string& source) {
  yaml_reads.push_back(source);
  return host::load_yaml_text(text, source);
}

std::unique_ptr<host::ComputeRegistry> FakeHost::compute_registry(const std::string& project_dir) {
  return std::make_unique<host::FileComputeRegistry>(project_dir, host::waiting_of(*this));
}

int FakeHost::pending_interrupt() {
  if (polls_before_interrupt > 0) {
    --polls_before_interrupt;
    return 0;
  }
  return interrupt;
}

std::set<std::string> FakeHost::find_modules(const std::vector<std::string>& modules) {
  std::set<std::string> found;
  for (const std::string& module : modules) {
    if (installed_modules.count(module) != 0) found.insert(module);
  }
  return found;
}

}  // namespace zarn::testing
