#pragma once

#include <filesystem>
#include <map>
#include <sstream>
#include <string>

#include "host/executable_host.h"
#include "support/temp_dir.h"
#include "task/provell/outcome_lists.h"
#include "task/provell/provell_task.h"

namespace zarn::provell {

/// A task over a fresh temporary home, project and profiles folder, whose
/// printed lines are collected in out.
struct TaskFixture {
  explicit TaskFixture(std::map<std::string, std::string> variables = {},
                       std::optional<std::string> profile_name = std::nullopt)
      : context{terminal::Printer(out), environment_for(std::move(variables))} {
    std::filesystem::create_directories(project());
    std::filesystem::create_directories(profiles());
    task.emplace(context, project().string(), profiles().string(), std::move(profile_name));
  }

  std::filesystem::path home() const { return dir / "home"; }
  std::filesystem::path project() const { return dir / "project"; }
  std::filesystem::path profiles() const { return dir / "profiles"; }

  testing::TempDir dir;
  std::ostringstream out;
  host::ExecutableHost context;
  std::optional<ProvellTask> task;

 private:
  os::Environment environment_for(std::map<std::string, std::string> variables) const {
    variables.emplace("HOME", home().string());
    return os::Environment(std::move(variables));
  }
};

}  // namespace zarn::provell
