#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <optional>
#include <sstream>
#include <string>

#include "host/executable_host.h"
#include "support/maven_server.h"
#include "support/temp_dir.h"
#include "task/provell/provell_task.h"

namespace zarn::provell {

/// A task whose Maven repository is a loopback fixture server and whose
/// printed lines are collected. make_task() builds it afresh, so a test can
/// write the compute registry first.
class MavenTest : public ::testing::Test {
 protected:
  ProvellTask& task() {
    if (!task_) make_task();
    return *task_;
  }
  void make_task() {
    task_.reset();
    task_.emplace(context, project().string(), (dir / "profiles").string(), std::nullopt, settings);
  }
  std::filesystem::path project() const { return dir / "project"; }
  std::filesystem::path jars() const { return project() / ".zarn" / "jdbc_jars"; }
  /// The lines printed since the last call.
  std::string printed() {
    std::string text = out.str();
    out.str("");
    return text;
  }

  TransferSettings settings;  ///< the next make_task()'s
  testing::MavenServer server;
  testing::TempDir dir;
  std::ostringstream out;
  std::ostringstream err;  ///< notices, apart from the report
  host::ExecutableHost context{
      terminal::Printer(out, err, {}),
      os::Environment(std::map<std::string, std::string>{{"HOME", (dir / "home").string()},
                                                         {"ZARN_MAVEN_REPO", server.repo_url()}})};

 private:
  std::optional<ProvellTask> task_;
};

}  // namespace zarn::provell
