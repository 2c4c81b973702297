#include <algorithm>
#include <chrono>
#include <csignal>
#include <memory>
#include <optional>
#include <thread>

#include "migrate_fixture.h"
#include "os/file_lock.h"
#include "support/zarn_child.h"

namespace zarn::testing {
namespace {

namespace fs = std::filesystem;

const std::string kHubProfiles = "hub:\n  target: dev\n  outputs:\n    dev: {type: duckdb}\n";

/// Waits until file holds text, for up to ten seconds.
bool shows_up(const fs::path& file, const std::string& text) {
  for (int i = 0; i < 200; ++i) {
    if (fs::exists(file) && read_file(file).find(text) != std::string::npos) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return false;
}

// Several migrations of one project at once: each waits for the project
// folder, one backs up and converts, the others find the work done.
TEST_F(MigrateTest, ConcurrentMigrationsOfOneProjectMakeOneBackup) {
  write_file(project / "pelk_project.yml", "name: shop\n");
  std::optional<os::FolderLock> other(std::in_place, project);
  std::vector<std::unique_ptr<TempDir>> outputs;
  std::vector<std::unique_ptr<ZarnChild>> children;
  for (int i = 0; i < 8; ++i) {
    outputs.push_back(std::make_unique<TempDir>());
    children.push_back(std::make_unique<ZarnChild>(
        ZarnInvocation{{"migrate", "--project-only"}, project, home, {}, {}},
        outputs.back()->path()));
  }
  EXPECT_TRUE(shows_up(*outputs.front() / "err",
                       "waiting for another zarn to finish with " + project.string()));
  other.reset();
  for (auto& child : children) EXPECT_EQ(child->wait(), 0);
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(project)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"flatfiles", "pelk_project.yml",
                                             "pelk_project.yml.bak", "zarn_project.yml"}));
}

struct LockCase {
  std::string name;
  bool import;  ///< target import (else profile migration)
  int signal;   ///< sent while it waits; 0: the lock is released instead
  int exit_status;
};

class HeldProfilesFolder : public MigrateTest, public ::testing::WithParamInterface<LockCase> {};

// Another zarn holds ~/.zarn: this one waits, says so on standard error, and
// either goes on once the folder is free or stops on a signal, writing nothing.
TEST_P(HeldProfilesFolder, WaitsSaysSoAndGoesOnOrStops) {
  const LockCase& c = GetParam();
  write_file(pelk_profiles(), kPelkProfiles);
  write_file(zarn_profiles(), kHubProfiles);
  const fs::path source = temp / "shop_src";
  write_file(source / "pelk_project.yml", "name: shop\n");
  if (c.import) write_file(project / "zarn_project.yml", "profile: hub\n");
  const std::vector<std::string> arguments =
      c.import ? std::vector<std::string>{"migrate", source.string()}
               : std::vector<std::string>{"migrate", "--profiles-only"};

  std::optional<os::FolderLock> other(std::in_place, home / ".zarn");
  const TempDir output;
  ZarnChild child({arguments, project, home, {}, {}}, output.path());
  ASSERT_TRUE(shows_up(output / "err", "zarn: waiting for another zarn to finish with " +
                                           (home / ".zarn").string() + "...\n"));
  EXPECT_EQ(read_file(zarn_profiles()), kHubProfiles);
  if (c.signal != 0)
    child.signal(c.signal);
  else
    other.reset();

  EXPECT_EQ(child.wait(), c.exit_status);
  const std::string profiles = read_file(zarn_profiles());
  EXPECT_EQ(profiles != kHubProfiles, c.signal == 0) << profiles;
  if (c.signal == 0) {
    EXPECT_NE(profiles.find(c.import ? "shop_dev" : "shop:"), std::string::npos) << profiles;
  }
  EXPECT_EQ(names_in(home / ".zarn"), std::vector<std::string>{"profiles.yml"});
}

INSTANTIATE_TEST_SUITE_P(Cases, HeldProfilesFolder,
                         ::testing::Values(LockCase{"profile_migration", false, 0, 0},
                                           LockCase{"target_import", true, 0, 0},
                                           LockCase{"sigterm", false, SIGTERM, 143},
                                           LockCase{"sigint", true, SIGINT, 130}),
                         CaseName());

}  // namespace
}  // namespace zarn::testing
