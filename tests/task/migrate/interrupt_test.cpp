#include <gtest/gtest.h>

#include <csignal>
#include <functional>

#include "migrate_fixture.h"
#include "os/interrupt.h"
#include "support/fake_host.h"
#include "task/migrate/migrate_task.h"

namespace zarn::testing {
namespace {

namespace fs = std::filesystem;

struct InterruptCase {
  std::string name;
  bool with_source;
  bool dry_run;
  std::function<void(migrate::MigrateTask&)> call;
};

void PrintTo(const InterruptCase& c, std::ostream* out) {
  *out << c.name;
}

class InterruptedOperation : public MigrateTest,
                             public ::testing::WithParamInterface<InterruptCase> {};

// Operations that never reach a write or a copy do not poll on their own; a
// stop asked for while they run still ends them, and changes nothing.
TEST_P(InterruptedOperation, ThrowsAndChangesNothing) {
  const InterruptCase& c = GetParam();
  const fs::path source = temp / "src";
  write_file(pelk_profiles(), kPelkProfiles);
  write_file(project / "zarn_project.yml", "name: hub\nprofile: hub\n");
  write_file(source / "pelk_project.yml", "name: shop\n");
  write_file(source / "models" / "a.sql", "select 1\n");
  const auto before = file_tree(temp.path());
  FakeHost host(home);
  host.interrupt = SIGINT;
  migrate::MigrateSettings settings{.dry_run = c.dry_run, .project_dir = project};
  if (c.with_source) settings.source_path = source;
  migrate::MigrateTask task(host, settings);

  EXPECT_THROW(c.call(task), os::Interrupted);
  EXPECT_EQ(file_tree(temp.path()), before);
}

INSTANTIATE_TEST_SUITE_P(
    Migrate, InterruptedOperation,
    ::testing::Values(InterruptCase{"InsideProjectWithoutSource", false, false,
                                    [](auto& task) { task.run(); }},
                      InterruptCase{"DryRunImport", true, true, [](auto& task) { task.run(); }},
                      InterruptCase{"DryRunCopy", true, true,
                                    [](auto& task) { task._copy_directory("models", "shop"); }},
                      InterruptCase{"DryRunDetection", false, true,
                                    [](auto& task) { task._auto_detect_and_migrate(); }},
                      InterruptCase{"Summary", false, false,
                                    [](auto& task) {
                                      task._show_summary({migrate::MigrationResult{true, "done"}});
                                    }}),
    CaseName());

}  // namespace
}  // namespace zarn::testing
