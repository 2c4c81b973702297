#include "host/module_lookup.h"

#include <gtest/gtest.h>

#include <chrono>
#include <stdexcept>
#include <string>

#include "support/temp_dir.h"

namespace zarn::host {
namespace {

namespace fs = std::filesystem;

TEST(FindModulesInChild, AHangingInterpreterIsABrokenEnvironmentNamedInTheError) {
  testing::TempDir dir;
  const fs::path python = dir / "python";
  testing::write_file(python, "#!/bin/sh\nsleep 30\n");
  fs::permissions(python, fs::perms::owner_all);
  try {
    find_modules_in_child(python, {"pelk.adapters.mysql"}, {}, std::chrono::milliseconds(300));
    FAIL() << "no error";
  } catch (const std::runtime_error& error) {
    EXPECT_EQ(std::string(error.what()),
              python.string() +
                  " did not finish within 300 ms looking up modules; check that this Python "
                  "environment works");
  }
}

}  // namespace
}  // namespace zarn::host
