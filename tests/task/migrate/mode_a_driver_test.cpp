#include <string>
#include <vector>

#include "migrate_fixture.h"

namespace zarn::testing {
namespace {

const std::string kProfileMigrated = lines({"  Migrated profile 'shop' to ~/.zarn/profiles.yml"});
const std::string kProjectMigrated =
    lines({"  Backed up pelk_project.yml → pelk_project.yml.bak", "  Created zarn_project.yml",
           "  Created flatfiles/ directory"});

struct DetectionCase {
  std::string name;
  bool has_profiles;
  bool has_project;
  std::string out;
};

/// Names the case in test listings instead of dumping its bytes.
void PrintTo(const DetectionCase& c, std::ostream* out) {
  *out << c.name;
}

class AutoDetection : public MigrateTest, public ::testing::WithParamInterface<DetectionCase> {};

TEST_P(AutoDetection, MigratesWhatItFinds) {
  const DetectionCase& c = GetParam();
  if (c.has_profiles) write_file(pelk_profiles(), kPelkProfiles);
  if (c.has_project) write_file(project / "pelk_project.yml", "name: shop\n");

  const ZarnRun run = migrate();

  EXPECT_EQ(run.out, c.out);
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(run.exit_status, 0);
  EXPECT_EQ(std::filesystem::exists(zarn_profiles()), c.has_profiles);
  EXPECT_EQ(std::filesystem::exists(project / "zarn_project.yml"), c.has_project);
}

INSTANTIATE_TEST_SUITE_P(
    Migrate, AutoDetection,
    ::testing::Values(
        DetectionCase{"Neither", false, false,
                      lines({"Detecting pelk configuration...", "",
                             "No pelk configuration found - nothing to migrate.",
                             "Use 'zarn init' to create a new ZARN project."}) +
                          summary({"Nothing to migrate"})},
        DetectionCase{"OnlyProfiles", true, false,
                      lines({"Detecting pelk configuration...", "  Found ~/.pelk/profiles.yml", "",
                             "Migrating profiles..."}) +
                          kProfileMigrated + summary({"Migrated profile 'shop'"})},
        DetectionCase{"OnlyProject", false, true,
                      lines({"Detecting pelk configuration...", "  Found pelk_project.yml", "", "",
                             "Migrating project..."}) +
                          kProjectMigrated + summary({"Project migrated"})},
        DetectionCase{"Both", true, true,
                      lines({"Detecting pelk configuration...", "  Found ~/.pelk/profiles.yml",
                             "  Found pelk_project.yml", "", "Migrating profiles..."}) +
                          kProfileMigrated + lines({"", "Migrating project..."}) +
                          kProjectMigrated +
                          summary({"Migrated profile 'shop'", "Project migrated"})}),
    CaseName());

struct FlagCase {
  std::string name;
  std::vector<std::string> arguments;
  std::string out;
  bool profile_written;
  bool project_written;
};

/// Names the case in test listings instead of dumping its bytes.
void PrintTo(const FlagCase& c, std::ostream* out) {
  *out << c.name;
}

class FlagPrecedence : public MigrateTest, public ::testing::WithParamInterface<FlagCase> {};

TEST_P(FlagPrecedence, FirstFlagDecidesWithoutDetection) {
  const FlagCase& c = GetParam();
  write_file(pelk_profiles(), kPelkProfiles);
  write_file(project / "pelk_project.yml", "name: shop\n");

  const ZarnRun run = migrate(c.arguments);

  EXPECT_EQ(run.out, c.out);
  EXPECT_EQ(run.exit_status, 0);
  EXPECT_EQ(std::filesystem::exists(zarn_profiles()), c.profile_written);
  EXPECT_EQ(std::filesystem::exists(project / "zarn_project.yml"), c.project_written);
}

INSTANTIATE_TEST_SUITE_P(
    Migrate, FlagPrecedence,
    ::testing::Values(FlagCase{"ProfilesOnlyBeatsProjectOnly",
                               {"--project-only", "--profiles-only", "--full"},
                               kProfileMigrated + summary({"Migrated profile 'shop'"}),
                               true,
                               false},
                      FlagCase{"ProjectOnlyBeatsFull",
                               {"--full", "--project-only"},
                               kProjectMigrated + summary({"Project migrated"}),
                               false,
                               true},
                      FlagCase{"FullMigratesProfileFirst",
                               {"--full"},
                               kProfileMigrated + kProjectMigrated +
                                   summary({"Migrated profile 'shop'", "Project migrated"}),
                               true,
                               true},
                      // Outside a ZARN project a source path plays no part.
                      FlagCase{"SourcePathIgnored",
                               {"/nonexistent/pelk_project", "--profiles-only"},
                               kProfileMigrated + summary({"Migrated profile 'shop'"}),
                               true,
                               false}),
    CaseName());

TEST_F(MigrateTest, DryRunReportsAndCreatesNothing) {
  write_file(pelk_profiles(), kPelkProfiles);
  write_file(project / "pelk_project.yml", "name: shop\n");
  const auto before = file_tree(temp.path());

  const ZarnRun run = migrate({"--dry-run"});

  EXPECT_EQ(run.out, lines({"Detecting pelk configuration...", "  Found ~/.pelk/profiles.yml",
                            "  Found pelk_project.yml", "", "Migrating profiles...",
                            "  [DRY RUN] Would migrate profile 'shop'", "", "Migrating project...",
                            "  [DRY RUN] Would backup pelk_project.yml",
                            "  [DRY RUN] Would create zarn_project.yml",
                            "  [DRY RUN] Would create flatfiles/ directory"}) +
                         summary({"Migrated profile 'shop'", "Project migrated"}));
  EXPECT_EQ(run.exit_status, 0);
  EXPECT_EQ(file_tree(temp.path()), before);
}

TEST_F(MigrateTest, OneStepFailsSummaryListsTheOther) {
  write_file(pelk_profiles(), "other:\n  target: dev\n");
  write_file(project / "pelk_project.yml", "name: shop\n");

  const ZarnRun run = migrate({"--full"});

  EXPECT_EQ(run.out, lines({"  No profile 'shop' found in ~/.pelk/profiles.yml"}) +
                         kProjectMigrated + summary({"Project migrated"}));
  EXPECT_EQ(run.exit_status, 1);
}

TEST_F(MigrateTest, EveryStepFailsWithoutSummary) {
  const ZarnRun run = migrate({"--full"});

  EXPECT_EQ(run.out, lines({"  No ~/.pelk/profiles.yml found", "  No pelk_project.yml found"}));
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(run.exit_status, 1);
  EXPECT_FALSE(std::filesystem::exists(home / ".zarn"));
}

TEST_F(MigrateTest, InsideZarnProjectWithoutPathOnlyHints) {
  write_file(project / "zarn_project.yml", "name: shop\n");
  write_file(project / "pelk_project.yml", "name: shop\n");
  write_file(pelk_profiles(), kPelkProfiles);
  const auto before = file_tree(temp.path());

  for (const std::vector<std::string>& arguments :
       {std::vector<std::string>{}, std::vector<std::string>{"--dry-run", "--full"}}) {
    const ZarnRun run = migrate(arguments);
    EXPECT_EQ(run.out, lines({"You are inside a ZARN project.",
                              "To import a pelk project, provide the path:",
                              "  zarn migrate /path/to/pelk_project"}));
    EXPECT_EQ(run.exit_status, 0);
  }
  EXPECT_EQ(file_tree(temp.path()), before);
}

}  // namespace
}  // namespace zarn::testing
