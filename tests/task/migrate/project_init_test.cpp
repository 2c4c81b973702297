#include <gtest/gtest.h>

#include <csignal>

#include "migrate_fixture.h"
#include "os/interrupt.h"
#include "support/fake_host.h"
#include "task/migrate/project_init.h"

namespace zarn::testing {
namespace {

namespace fs = std::filesystem;

// A stop asked for before the profile is written undoes the whole init: no
// project folder without its profile.
TEST_F(MigrateTest, InitStoppedBeforeTheProfileLeavesNothing) {
  FakeHost host(home);
  host.interrupt = SIGTERM;
  const migrate::InitSettings settings{"fresh", {}, temp.path()};

  EXPECT_THROW(migrate::create_project(host, settings), os::Interrupted);
  EXPECT_FALSE(fs::exists(temp / "fresh"));
  EXPECT_FALSE(fs::exists(zarn_profiles()));

  host.interrupt = 0;
  const migrate::NewProject made = migrate::create_project(host, settings);
  EXPECT_TRUE(made.profile_added);
  EXPECT_EQ(made.profiles_file, zarn_profiles());
  EXPECT_TRUE(fs::exists(temp / "fresh" / "zarn_project.yml"));
}

}  // namespace
}  // namespace zarn::testing
