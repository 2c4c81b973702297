// The profile and the inventory are resolved once per operation: one sync
// and one listing read profiles.yml and pelk_project.yml once each.

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "support/fake_host.h"
#include "support/file_tree.h"
#include "support/temp_dir.h"
#include "task/provell/provell_task.h"

namespace zarn::provell {
namespace {

TEST(ProfileReads, OneOperationReadsEachFileOnce) {
  struct Case {
    const char* name;
    std::function<void(ProvellTask&)> run;
  };
  const Case cases[] = {
      {"sync", [](ProvellTask& task) { EXPECT_TRUE(task.sync()); }},
      {"quiet dry run", [](ProvellTask& task) { EXPECT_TRUE(task.sync(false, true, true)); }},
      {"listing",
       [](ProvellTask& task) { EXPECT_EQ(task.list_connections().connections.size(), 1u); }},
      {"connections", [](ProvellTask& task) { task.get_connections_info(); }},
  };
  for (const Case& c : cases) {
    testing::TempDir dir;
    const auto profiles = dir / "profiles" / "profiles.yml";
    const auto project_file = dir / "project" / "pelk_project.yml";
    // A type without a driver: the whole sync runs without a network.
    testing::write_file(profiles, "shop:\n  target: lake\n  outputs:\n    lake: {type: spark}\n");
    testing::write_file(project_file, "name: shop\nprofile: shop\n");
    testing::FakeHost host(dir / "home");
    ProvellTask task(host, (dir / "project").string(), (dir / "profiles").string());
    c.run(task);
    const auto reads = [&host](const std::filesystem::path& file) {
      return std::count(host.yaml_reads.begin(), host.yaml_reads.end(), file.string());
    };
    EXPECT_EQ(reads(profiles), 1) << c.name;
    EXPECT_EQ(reads(project_file), 1) << c.name;
  }
}

}  // namespace
}  // namespace zarn::provell
