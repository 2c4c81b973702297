#include "support/run_zarn.h"

#include <limits>

#include "os/process.h"

extern char** environ;

namespace zarn::testing {
namespace {

os::Environment environment_of(const ZarnInvocation& invocation) {
  std::map<std::string, std::string> variables;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string text(*entry);
    const auto equals = text.find('=');
    if (equals != std::string::npos) variables[text.substr(0, equals)] = text.substr(equals + 1);
  }
  if (!invocation.home.empty()) variables["HOME"] = invocation.home.string();
  // The driver cache follows HOME unless a test names one: never the user's own.
  variables.erase("ZARN_CACHE_DIR");
  variables.erase("XDG_CACHE_HOME");
  for (const auto& [name, value] : invocation.environment) variables[name] = value;
  for (const auto& name : invocation.unset) variables.erase(name);
  return os::Environment(std::move(variables));
}

}  // namespace

ChildCommand child_command(const ZarnInvocation& invocation) {
  std::vector<std::string> arguments{zarn_binary().string()};
  arguments.insert(arguments.end(), invocation.arguments.begin(), invocation.arguments.end());
  return {std::move(arguments), environment_of(invocation).entries()};
}

std::vector<char*> exec_pointers(std::vector<std::string>& texts) {
  std::vector<char*> result;
  for (auto& text : texts) result.push_back(text.data());
  result.push_back(nullptr);
  return result;
}

std::filesystem::path zarn_binary() {
  return ZARN_BINARY;
}
std::filesystem::path source_dir() {
  return ZARN_SOURCE_DIR;
}

ZarnRun run_zarn(const ZarnInvocation& invocation) {
  os::ProcessOptions options;
  options.capture_limit = std::numeric_limits<std::size_t>::max();
  options.working_dir = invocation.working_dir;
  options.environment = environment_of(invocation);
  os::ProcessResult result = os::run_process(child_command(invocation).arguments, options);
  return {result.exit_status, std::move(result.standard_output), std::move(result.standard_error)};
}

}  // namespace zarn::testing
