#include <cctype>
#include <map>
#include <optional>
#include <string>

#include "migrate_fixture.h"

namespace zarn::testing {
namespace {

namespace fs = std::filesystem;

const std::string kPelkShopProfiles =
    "shop:\n"
    "  target: dev\n"
    "  outputs:\n"
    "    dev:\n"
    "      type: postgres\n"
    "    prod:\n"
    "      type: snowflake\n";

const std::string kZarnHubProfiles =
    "hub:\n"
    "  target: dev\n"
    "  outputs:\n"
    "    dev:\n"
    "      type: duckdb\n";

const std::string kMergedHub =
    "# ZARN Profiles Configuration\n"
    "\n"
    "hub:\n"
    "  outputs:\n"
    "    dev:\n"
    "      type: duckdb\n"
    "    shop_dev:\n"
    "      type: postgres\n"
    "    shop_prod:\n"
    "      type: snowflake\n"
    "  target: dev\n";

std::string import_summary(const std::string& name, std::initializer_list<std::string> dirs) {
  std::string text = lines({"", kSeparator, "Import complete!", kSeparator, "  Project: " + name});
  std::string first = "models";
  for (const auto& dir : dirs) {
    std::string label = dir;
    label[0] = static_cast<char>(std::toupper(label[0]));
    text += "  " + label + ": " + dir + "/" + name + "/\n";
  }
  if (dirs.size() > 0) first = *dirs.begin();
  return text +
         lines({"", "Next steps:", "  1. Review " + first + "/" + name + "/ for ref() adjustments",
                "  2. Update zarn_project.yml if needed",
                "  3. Run 'zarn target list' to see all targets", kSeparator});
}

/// The current ZARN project is the fixture's project folder (profile "hub");
/// the PELK project to import lies beside it in shop_src.
class MigrateImportTest : public MigrateTest {
 protected:
  void SetUp() override {
    MigrateTest::SetUp();
    write_file(project / "zarn_project.yml", "name: hub\nprofile: hub\n");
    write_file(source / "pelk_project.yml", "name: shop\nprofile: shop\n");
    write_file(pelk_profiles(), kPelkShopProfiles);
    write_file(zarn_profiles(), kZarnHubProfiles);
  }

  ZarnRun import(std::vector<std::string> extra = {}) const {
    extra.insert(extra.begin(), source.string());
    return migrate(extra);
  }

  const fs::path source = temp / "shop_src";
};

TEST_F(MigrateImportTest, ShopExampleCopiesFoldersAndMergesTargetsTwice) {
  write_file(source / "models" / "customers.sql", "select 1\n");
  write_file(source / "models" / "staging" / ".keep", "");
  write_file(source / "macros" / "cents.sql", "{% macro c() %}{% endmacro %}\n");
  write_file(source / "README.md", "not copied\n");
  set_mode(source / "models" / "customers.sql", fs::perms(0600));
  set_times(source / "models" / "customers.sql", {{1000000000, 5}, {1100000000, 7}});

  for (int round = 0; round < 2; ++round) {
    const ZarnRun run = import();
    EXPECT_EQ(run.out, lines({"Importing pelk project 'shop' into current ZARN project...", "",
                              "  Copied models/ (2 files)", "  Copied macros/ (1 files)",
                              round == 0 ? "  Merged 2 target(s) into profile 'hub'"
                                         : "  Merged 0 target(s) into profile 'hub'"}) +
                           import_summary("shop", {"models", "macros"}));
    EXPECT_EQ(run.exit_status, 0) << run.err;
    EXPECT_EQ(read_file(zarn_profiles()), kMergedHub);
  }
  EXPECT_EQ(file_tree(project / "models" / "shop"), file_tree(source / "models"));
  EXPECT_EQ(file_tree(project / "macros" / "shop"), file_tree(source / "macros"));
  EXPECT_EQ(names_in(project), (std::vector<std::string>{"macros", "models", "zarn_project.yml"}));
  const fs::path copied = project / "models" / "shop" / "customers.sql";
  EXPECT_EQ(mode_of(copied), fs::perms(0600));
  EXPECT_EQ(times_of(copied).modification.tv_sec, 1100000000);
  EXPECT_EQ(times_of(copied).modification.tv_nsec, 7);
}

TEST_F(MigrateImportTest, NoneOfTheFoldersStillImportsTargets) {
  const ZarnRun run = import();

  EXPECT_EQ(run.out, lines({"Importing pelk project 'shop' into current ZARN project...", "",
                            "  Merged 2 target(s) into profile 'hub'"}) +
                         import_summary("shop", {}));
  EXPECT_EQ(run.exit_status, 0);
  EXPECT_EQ(names_in(project), std::vector<std::string>{"zarn_project.yml"});
}

TEST_F(MigrateImportTest, MergesIntoTargetFolderThatHoldsFiles) {
  write_file(source / "seeds" / "orders.csv", "new\n");
  write_file(source / "seeds" / ".hidden", "h\n");
  write_file(project / "seeds" / "shop" / "orders.csv", "old\n");
  write_file(project / "seeds" / "shop" / "mine.csv", "mine\n");

  const ZarnRun run = import();

  EXPECT_NE(run.out.find("  Copied seeds/ (3 files)\n"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("  Seeds: seeds/shop/\n"), std::string::npos);
  EXPECT_NE(run.out.find("  1. Review seeds/shop/ for ref() adjustments\n"), std::string::npos);
  EXPECT_EQ(file_tree(project / "seeds" / "shop"),
            (std::map<std::string, std::string>{
                {".hidden", "h\n"}, {"mine.csv", "mine\n"}, {"orders.csv", "new\n"}}));
}

TEST_F(MigrateImportTest, DryRunCountsAndCreatesNothing) {
  write_file(source / "models" / "a.sql", "a\n");
  write_file(source / "models" / "deep" / "er" / "b.sql", "b\n");
  write_file(source / "tests" / "t.sql", "t\n");
  const auto before = file_tree(temp.path());

  const ZarnRun run = import({"--dry-run"});

  EXPECT_EQ(run.out, lines({"Importing pelk project 'shop' (DRY RUN)...", "",
                            "  [DRY RUN] Would copy models/ (2 files) → models/shop/",
                            "  [DRY RUN] Would copy tests/ (1 files) → tests/shop/",
                            "  [DRY RUN] Would merge 2 target(s) into profile", "",
                            "No changes made (dry run)."}));
  EXPECT_EQ(run.exit_status, 0);
  EXPECT_EQ(file_tree(temp.path()), before);
}

TEST_F(MigrateImportTest, NameFromSourceFolderWhenProjectFileHasNone) {
  write_file(source / "pelk_project.yml", "profile: shop\n");

  const ZarnRun run = migrate({source.string() + "/", "--dry-run"});

  EXPECT_TRUE(run.out.starts_with("Importing pelk project 'shop_src' (DRY RUN)...\n")) << run.out;
  EXPECT_NE(run.out.find("  [DRY RUN] Would merge 2 target(s) into profile\n"), std::string::npos);
}

struct TargetCase {
  std::string name;
  std::optional<std::string> pelk_profiles;
  std::optional<std::string> zarn_profiles;
  std::string line;
  int exit_status;
  std::optional<std::string> zarn_result;  ///< the ZARN profiles file afterwards
};

/// Names the case in test listings instead of dumping its bytes.
void PrintTo(const TargetCase& c, std::ostream* out) {
  *out << c.name;
}

class TargetImport : public MigrateImportTest, public ::testing::WithParamInterface<TargetCase> {};

TEST_P(TargetImport, ReportsAndMergesTargets) {
  const TargetCase& c = GetParam();
  fs::remove(pelk_profiles());
  fs::remove(zarn_profiles());
  if (c.pelk_profiles) write_file(pelk_profiles(), *c.pelk_profiles);
  if (c.zarn_profiles) write_file(zarn_profiles(), *c.zarn_profiles);

  const ZarnRun run = import();

  EXPECT_EQ(run.out,
            lines({"Importing pelk project 'shop' into current ZARN project...", "", c.line}) +
                import_summary("shop", {}));
  EXPECT_EQ(run.exit_status, c.exit_status);
  if (c.zarn_result) {
    EXPECT_EQ(read_file(zarn_profiles()), *c.zarn_result);
  } else {
    EXPECT_EQ(fs::exists(zarn_profiles()), c.zarn_profiles.has_value());
    if (c.zarn_profiles) {
      EXPECT_EQ(read_file(zarn_profiles()), *c.zarn_profiles);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Migrate, TargetImport,
    ::testing::Values(
        TargetCase{"NoZarnProfiles", kPelkShopProfiles, std::nullopt,
                   "  No ~/.zarn/profiles.yml found - skipping target import", 1, std::nullopt},
        TargetCase{"NoPelkProfiles", std::nullopt, kZarnHubProfiles,
                   "  No ~/.pelk/profiles.yml found - skipping target import", 0, std::nullopt},
        TargetCase{"SourceProfileMissing", "other:\n  target: dev\n", kZarnHubProfiles,
                   "  No outputs found for profile 'shop'", 0, std::nullopt},
        TargetCase{"SourceProfileEmptyOutputs", "shop:\n  outputs: {}\n", kZarnHubProfiles,
                   "  No outputs found for profile 'shop'", 0, std::nullopt},
        TargetCase{"ProfileCreatedWithTargetDev", kPelkShopProfiles, "other:\n  target: x\n",
                   "  Merged 2 target(s) into profile 'hub'", 0,
                   "# ZARN Profiles Configuration\n\nhub:\n  outputs:\n    shop_dev:\n"
                   "      type: postgres\n    shop_prod:\n      type: snowflake\n  target: dev\n"
                   "other:\n  target: x\n"},
        TargetCase{"ProfileWithoutOutputsKeepsItsTarget", kPelkShopProfiles,
                   "hub:\n  target: prod\n", "  Merged 2 target(s) into profile 'hub'", 0,
                   "# ZARN Profiles Configuration\n\nhub:\n  outputs:\n    shop_dev:\n"
                   "      type: postgres\n    shop_prod:\n      type: snowflake\n  target: prod\n"},
        TargetCase{"ExistingNameNeverOverwritten", kPelkShopProfiles,
                   "hub:\n  outputs:\n    shop_dev:\n      type: mine\n",
                   "  Merged 1 target(s) into profile 'hub'", 0,
                   "# ZARN Profiles Configuration\n\nhub:\n  outputs:\n    shop_dev:\n"
                   "      type: mine\n    shop_prod:\n      type: snowflake\n"}),
    CaseName());

TEST_F(MigrateImportTest, NoPelkProjectInSourceCopiesNothing) {
  fs::remove(source / "pelk_project.yml");
  write_file(source / "models" / "a.sql", "a\n");

  const ZarnRun run = import();

  EXPECT_EQ(run.out, lines({"Error: No pelk_project.yml found in " + source.string()}));
  EXPECT_EQ(run.exit_status, 1);
  EXPECT_EQ(names_in(project), std::vector<std::string>{"zarn_project.yml"});
}

struct RejectCase {
  std::string name;
  std::string file;  ///< "source" or "zarn"
  std::string content;
  std::string error_after_path;
};

/// Names the case in test listings instead of dumping its bytes.
void PrintTo(const RejectCase& c, std::ostream* out) {
  *out << c.name;
}

class RejectedProjectFile : public MigrateImportTest,
                            public ::testing::WithParamInterface<RejectCase> {};

TEST_P(RejectedProjectFile, EndsBeforeCopyingAnything) {
  const RejectCase& c = GetParam();
  const fs::path file =
      c.file == "zarn" ? project / "zarn_project.yml" : source / "pelk_project.yml";
  write_file(file, c.content);
  write_file(source / "models" / "a.sql", "a\n");
  const auto before = file_tree(temp.path());

  const ZarnRun run = import();

  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err, "Error: " + file.string() + c.error_after_path + "\n");
  EXPECT_EQ(run.exit_status, 1);
  EXPECT_EQ(file_tree(temp.path()), before);
}

INSTANTIATE_TEST_SUITE_P(
    Migrate, RejectedProjectFile,
    ::testing::Values(RejectCase{"EmptySource", "source", "",
                                 ": expected a mapping at the top level, found nothing"},
                      RejectCase{"ListSource", "source", "- a\n",
                                 ": expected a mapping at the top level, found a list"},
                      RejectCase{"NameNotText", "source", "name: 42\n",
                                 ": 'name' must be text, found 42"},
                      RejectCase{"NameLeavesFolder", "source", "name: ../../etc\n",
                                 ": project name '../../etc' cannot be used as a folder name"},
                      RejectCase{"NameReversesText", "source", "name: \"ab\\u202ecod\"\n",
                                 ": project name 'ab\\u202ecod' cannot be used as a folder name"},
                      RejectCase{"ZarnProjectWithoutProfile", "zarn", "version: '1'\n",
                                 ": names no profile; add 'profile: <name>' to zarn_project.yml"}),
    CaseName());

}  // namespace
}  // namespace zarn::testing
