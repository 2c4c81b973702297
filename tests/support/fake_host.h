#pragma once

#include <ctime>
#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "host/host.h"

namespace zarn::testing {

/// A host whose environment, home and answers come from the test, and which
/// records what a task tells it and which YAML files it reads, so a test can
/// assert what the task decided without comparing a whole output.
class FakeHost : public host::Host {
 public:
  /// HOME is home; extra_variables add to it (and may name another HOME).
  explicit FakeHost(const std::filesystem::path& home,
                    std::map<std::string, std::string> extra_variables = {});

  void echo(std::string_view line) override { lines.emplace_back(line); }
  os::Environment environment() const override { return os::Environment(variables); }
  std::tm local_time() const override { return time; }
  /// Parses as the executable does, and records source in yaml_reads.
  yaml::Node load_yaml_text(const std::string& text, const std::string& source) override;
  /// The project's compute file, as the executable keeps it.
  std::unique_ptr<host::ComputeRegistry> compute_registry(const std::string& project_dir) override;
  std::filesystem::path interpreter() override { return interpreter_path; }
  /// The names among modules that are in installed_modules.
  std::set<std::string> find_modules(const std::vector<std::string>& modules) override;
  int pending_interrupt() override;
  void notice(std::string_view line) override { notices.emplace_back(line); }

  /// What the test sets.
  std::map<std::string, std::string> variables;
  std::tm time{};
  std::filesystem::path interpreter_path = "/nonexistent/python";
  std::set<std::string> installed_modules;
  int interrupt = 0;               ///< the signal pending_interrupt() reports
  int polls_before_interrupt = 0;  ///< times it answers 0 first, so the signal comes mid-way

  /// What the task did.
  std::vector<std::string> lines;
  std::vector<std::string> notices;
  std::vector<std::string> yaml_reads;  ///< the source of every YAML text loaded
};

}  // namespace zarn::testing
