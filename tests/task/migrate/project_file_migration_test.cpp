#include <regex>
#include <sstream>
#include <string>

#include "host/executable_host.h"
#include "migrate_fixture.h"
#include "task/migrate/migrate_task.h"
#include "yaml/load.h"

namespace zarn::testing {
namespace {

namespace fs = std::filesystem;

std::string line_of(const std::string& text, int number) {
  std::istringstream in(text);
  std::string line;
  for (int i = 0; i < number; ++i) std::getline(in, line);
  return line;
}

TEST_F(MigrateTest, WritesTheWholeTemplateAndFlatfiles) {
  write_file(project / "pelk_project.yml", "name: shop\nprofile: warehouse\nversion: '2'\n");

  ASSERT_EQ(migrate({"--project-only"}).exit_status, 0);

  EXPECT_EQ(read_file(project / "zarn_project.yml"), R"(name: 'shop'
version: '1.0.0'

# This setting configures which "profile" pelk uses for this project.
profile: 'warehouse'

# These configurations specify where pelk should look for different types of files.
# The `model-paths` config, for example, states that models in this project can be
# found in the "models/" directory. You probably won't need to change these!
model-paths: ["models"]
analysis-paths: ["analyses"]
test-paths: ["tests"]
seed-paths: ["seeds"]
macro-paths: ["macros"]
snapshot-paths: ["snapshots"]

# ZARN-specific: Path for flat files (CSV, Parquet, etc.) for local data ingestion
flatfile-paths: ["flatfiles"]

clean-targets:
  - "target"
  - "pelk_packages"

# Configuring models
# Full documentation: https://docs.zarn.dev/build/configuring-models

# In this example config, we tell pelk to build all models in the example/
# directory as views. These settings can be overridden in the individual model
# files using the `{ config(...) }` macro.
models:
  shop:
    # Config indicated by + and applies to all files under models/example/
    +materialized: view
)");
  EXPECT_EQ(read_file(project / "pelk_project.yml.bak"),
            "name: shop\nprofile: warehouse\nversion: '2'\n");
  EXPECT_EQ(read_file(project / "flatfiles" / ".gitignore"),
            lines({"# Ignore all flat files (CSV, Parquet, etc.)", "*", "!.gitignore"}));
}

struct NamesCase {
  std::string name;
  std::string project_file;
  std::string line1, line5, line31;
  std::string project_name, profile_name;  ///< what the new file reads back as
};

/// Names the case in test listings instead of dumping its bytes.
void PrintTo(const NamesCase& c, std::ostream* out) {
  *out << c.name;
}

class TemplateNames : public MigrateTest, public ::testing::WithParamInterface<NamesCase> {};

TEST_P(TemplateNames, CarriesNameAndProfileSoTheyReadBack) {
  const NamesCase& c = GetParam();
  write_file(project / "pelk_project.yml", c.project_file);

  const ZarnRun run = migrate({"--project-only"});
  ASSERT_EQ(run.exit_status, 0) << run.err;

  const std::string text = read_file(project / "zarn_project.yml");
  EXPECT_EQ(line_of(text, 1), c.line1);
  EXPECT_EQ(line_of(text, 5), c.line5);
  EXPECT_EQ(line_of(text, 31), c.line31);
  const yaml::Node document = yaml::load(text);
  EXPECT_EQ(document.find("name")->as_string(), c.project_name);
  EXPECT_EQ(document.find("profile")->as_string(), c.profile_name);
  const yaml::Node* models = document.find("models");
  ASSERT_NE(models, nullptr);
  EXPECT_NE(models->find(c.project_name), nullptr) << text;
}

INSTANTIATE_TEST_SUITE_P(
    Migrate, TemplateNames,
    ::testing::Values(NamesCase{"NameAndProfile", "name: shop_a\nprofile: wh\n", "name: 'shop_a'",
                                "profile: 'wh'", "  shop_a:", "shop_a", "wh"},
                      NamesCase{"NameOnlyProfileFromFolder", "name: warehouse\n",
                                "name: 'warehouse'", "profile: 'shop'", "  warehouse:", "warehouse",
                                "shop"},
                      NamesCase{"InvalidYamlKeepsDefaults", "name: [oops\n", "name: 'shop'",
                                "profile: 'shop'", "  shop:", "shop", "shop"},
                      NamesCase{"NonTextValues", "name: 2024\nprofile: true\n", "name: '2024'",
                                "profile: 'True'", "  '2024':", "2024", "True"},
                      NamesCase{"QuoteInside", "name: \"o'brien\"\nprofile: \"it's\"\n",
                                "name: 'o''brien'", "profile: 'it''s'", "  o'brien:", "o'brien",
                                "it's"},
                      NamesCase{"LeadingQuote", "name: \"'lead\"\n", "name: '''lead'",
                                "profile: 'shop'", "  '''lead':", "'lead", "shop"},
                      NamesCase{"ColonInside", "name: \"a: b\"\n", "name: 'a: b'",
                                "profile: 'shop'", "  'a: b':", "a: b", "shop"},
                      NamesCase{"LineBreak", "name: \"a\\nb\"\n", "name: \"a\\nb\"",
                                "profile: 'shop'", "  \"a\\nb\":", "a\nb", "shop"}),
    CaseName());

TEST_F(MigrateTest, BackupKeepsModeAndTimes) {
  const fs::path old_path = project / "pelk_project.yml";
  write_file(old_path, "name: shop\n");
  set_mode(old_path, fs::perms(0640));
  set_times(old_path, {{1000000000, 123456789}, {1100000000, 987654321}});

  ASSERT_EQ(migrate({"--project-only"}).exit_status, 0);

  const fs::path backup = project / "pelk_project.yml.bak";
  EXPECT_EQ(mode_of(backup), fs::perms(0640));
  EXPECT_EQ(times_of(backup).modification.tv_sec, 1100000000);
  EXPECT_EQ(times_of(backup).modification.tv_nsec, 987654321);
  EXPECT_EQ(times_of(backup).access.tv_sec, times_of(old_path).access.tv_sec);
  EXPECT_EQ(read_file(old_path), "name: shop\n");
}

TEST_F(MigrateTest, ExistingBackupGetsATimestampedSibling) {
  write_file(project / "pelk_project.yml", "name: shop\n");
  write_file(project / "pelk_project.yml.bak", "older\n");
  write_file(project / "flatfiles" / ".gitignore", "mine\n");

  const ZarnRun run = migrate({"--project-only"});

  ASSERT_EQ(run.exit_status, 0);
  const std::regex backup_line(
      "  Backed up pelk_project.yml → (pelk_project\\.yml\\.\\d{8}_\\d{6}\\.bak)\n");
  std::smatch match;
  ASSERT_TRUE(std::regex_search(run.out, match, backup_line)) << run.out;
  EXPECT_EQ(read_file(project / match[1].str()), "name: shop\n");
  EXPECT_EQ(read_file(project / "pelk_project.yml.bak"), "older\n");
  EXPECT_NE(run.out.find("  Created flatfiles/ directory\n"), std::string::npos);
  EXPECT_EQ(read_file(project / "flatfiles" / ".gitignore"), "mine\n");
}

TEST_F(MigrateTest, FullDiskLeavesNoBackupSoTheNextRunTakesThePlainName) {
  const std::string old_text = "name: shop\nnote: " + std::string(6000, 'x') + "\n";
  write_file(project / "pelk_project.yml", old_text);
  ZarnRun full;
  {
    const FileSizeLimit limit(4096);
    full = migrate({"--project-only"});
  }
  EXPECT_EQ(full.exit_status, 1);
  EXPECT_EQ(names_in(project), std::vector<std::string>{"pelk_project.yml"});

  const ZarnRun next = migrate({"--project-only"});
  ASSERT_EQ(next.exit_status, 0) << next.err;
  EXPECT_NE(next.out.find("  Backed up pelk_project.yml → pelk_project.yml.bak\n"),
            std::string::npos)
      << next.out;
  EXPECT_EQ(read_file(project / "pelk_project.yml.bak"), old_text);
}

// zarn_project.yml is written last: a run cut short before it is redone whole.
TEST_F(MigrateTest, ARunCutShortIsCompletedByTheNextOne) {
  write_file(project / "pelk_project.yml", "name: shop\n");
  write_file(project / "flatfiles", "in the way\n");
  EXPECT_EQ(migrate({"--project-only"}).exit_status, 1);
  fs::remove(project / "flatfiles");

  const ZarnRun rerun = migrate({"--project-only"});
  ASSERT_EQ(rerun.exit_status, 0) << rerun.err;
  EXPECT_TRUE(fs::exists(project / "zarn_project.yml"));
  EXPECT_EQ(read_file(project / "flatfiles" / ".gitignore"),
            lines({"# Ignore all flat files (CSV, Parquet, etc.)", "*", "!.gitignore"}));
}

// Unreachable through the command line (zarn_project.yml selects the import
// mode there), so the task is driven directly, with a fixed clock.
struct DirectTask {
  explicit DirectTask(const fs::path& home)
      : context{terminal::Printer(out), os::Environment({{"HOME", home.string()}}), [] {
                  std::tm local{};
                  local.tm_year = 2024 - 1900;
                  local.tm_mon = 0;
                  local.tm_mday = 31;
                  local.tm_hour = 9;
                  local.tm_min = 5;
                  local.tm_sec = 7;
                  return local;
                }} {}
  std::ostringstream out;  // before context, which writes to it
  host::ExecutableHost context;
};

TEST_F(MigrateTest, DirectCallsSkipExistingProjectFileAndStampBackups) {
  write_file(project / "pelk_project.yml", "name: shop\n");
  write_file(project / "pelk_project.yml.bak", "older\n");
  DirectTask direct(home);
  migrate::MigrateTask task(direct.context, {.project_only = true, .project_dir = project});

  EXPECT_EQ(task._migrate_project_file(), (migrate::MigrationResult{true, "Project migrated"}));
  EXPECT_EQ(read_file(project / "pelk_project.yml.20240131_090507.bak"), "name: shop\n");
  EXPECT_EQ(task._migrate_project_file(),
            (migrate::MigrationResult{true, "zarn_project.yml already exists"}));
  EXPECT_EQ(direct.out.str(),
            lines({"  Backed up pelk_project.yml → pelk_project.yml.20240131_090507.bak",
                   "  Created zarn_project.yml", "  Created flatfiles/ directory",
                   "  zarn_project.yml already exists - skipping"}));
}

}  // namespace
}  // namespace zarn::testing
