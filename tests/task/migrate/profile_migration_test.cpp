#include <optional>
#include <string>

#include "migrate_fixture.h"

namespace zarn::testing {
namespace {

namespace fs = std::filesystem;

struct ChoiceCase {
  std::string name;
  std::optional<std::string> project_file;
  std::string pelk_profiles;
  std::string out;
  int exit_status;
};

/// Names the case in test listings instead of dumping its bytes.
void PrintTo(const ChoiceCase& c, std::ostream* out) {
  *out << c.name;
}

class ProfileChoice : public MigrateTest, public ::testing::WithParamInterface<ChoiceCase> {};

TEST_P(ProfileChoice, LooksUpTheProjectsProfile) {
  const ChoiceCase& c = GetParam();
  if (c.project_file) write_file(project / "pelk_project.yml", *c.project_file);
  write_file(pelk_profiles(), c.pelk_profiles);

  const ZarnRun run = migrate({"--profiles-only"});

  EXPECT_EQ(run.out, c.out);
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(run.exit_status, c.exit_status);
}

std::string migrated(const std::string& name) {
  return lines({"  Migrated profile '" + name + "' to ~/.zarn/profiles.yml"}) +
         summary({"Migrated profile '" + name + "'"});
}

std::string not_found(const std::string& name) {
  return lines({"  No profile '" + name + "' found in ~/.pelk/profiles.yml"});
}

const std::string kWarehouse = "warehouse:\n  target: dev\n";

INSTANTIATE_TEST_SUITE_P(
    Migrate, ProfileChoice,
    ::testing::Values(
        ChoiceCase{"NoProjectFileUsesFolderName", std::nullopt, kPelkProfiles, migrated("shop"), 0},
        ChoiceCase{"EmptyProjectFileUsesFolderName", "", kPelkProfiles, migrated("shop"), 0},
        ChoiceCase{"NameWithoutProfile", "name: warehouse\n", kWarehouse, migrated("warehouse"), 0},
        ChoiceCase{"ProfileBeatsName", "name: shop\nprofile: warehouse\n", kWarehouse,
                   migrated("warehouse"), 0},
        ChoiceCase{"IntegerProfileFindsIntegerKey", "profile: 2024\n", "2024:\n  target: dev\n",
                   migrated("2024"), 0},
        ChoiceCase{"PresentButEmptyProfile", "name: shop\nprofile:\n", kPelkProfiles,
                   not_found("None"), 1},
        ChoiceCase{"ProfileMissing", "name: warehouse\n", kPelkProfiles, not_found("warehouse"), 1},
        ChoiceCase{"EmptyPelkProfiles", std::nullopt, "", not_found("shop"), 1}),
    CaseName());

TEST_F(MigrateTest, NewProfilesFileHoldsOnlyTheProjectsProfileOwnerOnly) {
  write_file(pelk_profiles(), kPelkProfiles);

  ASSERT_EQ(migrate({"--profiles-only"}).exit_status, 0);

  EXPECT_EQ(read_file(zarn_profiles()), kShopProfileOnly);
  EXPECT_EQ(mode_of(zarn_profiles()), fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_EQ(names_in(home / ".zarn"), std::vector<std::string>{"profiles.yml"});
}

struct MergeCase {
  std::string name;
  std::string existing;
  std::string pelk_profiles;
  std::string project_file;
  std::string result;
};

/// Names the case in test listings instead of dumping its bytes.
void PrintTo(const MergeCase& c, std::ostream* out) {
  *out << c.name;
}

class ProfileMerge : public MigrateTest, public ::testing::WithParamInterface<MergeCase> {};

TEST_P(ProfileMerge, AddsProfileKeepsOthersSortedAndKeepsMode) {
  const MergeCase& c = GetParam();
  write_file(zarn_profiles(), c.existing);
  set_mode(zarn_profiles(), fs::perms(0644));
  write_file(pelk_profiles(), c.pelk_profiles);
  write_file(project / "pelk_project.yml", c.project_file);

  const ZarnRun run = migrate({"--profiles-only"});

  EXPECT_EQ(run.err, "");
  EXPECT_EQ(run.exit_status, 0);
  EXPECT_NE(run.out.find("  Merged profile '"), std::string::npos) << run.out;
  EXPECT_EQ(read_file(zarn_profiles()), c.result);
  EXPECT_EQ(mode_of(zarn_profiles()), fs::perms(0644));
  EXPECT_EQ(names_in(home / ".zarn"), std::vector<std::string>{"profiles.yml"});
}

INSTANTIATE_TEST_SUITE_P(
    Migrate, ProfileMerge,
    ::testing::Values(
        MergeCase{"EmptyFile", "", kPelkProfiles, "name: shop\n", kShopProfileOnly},
        // The old header and comments are not carried over; the header is written once.
        MergeCase{"OtherProfilesKept",
                  "# ZARN Profiles Configuration\n\n# mine\nzeta:\n  target: z\nalpha:\n"
                  "  target: a\n",
                  kPelkProfiles, "name: shop\n",
                  "# ZARN Profiles Configuration\n\nalpha:\n  target: a\nshop:\n  outputs:\n"
                  "    dev:\n      port: 5432\n      type: postgres\n  target: dev\nzeta:\n"
                  "  target: z\n"},
        // Numbers sort before text, so a profile named 2024 beside prod does not break the dump.
        MergeCase{"MixedKeyTypes", "prod:\n  target: p\n", "2024:\n  target: dev\n",
                  "profile: 2024\n",
                  "# ZARN Profiles Configuration\n\n2024:\n  target: dev\nprod:\n  target: p\n"}),
    CaseName());

TEST_F(MigrateTest, LinkedProfilesFileIsRewrittenWhereItLives) {
  const fs::path real = temp / "dotfiles" / "profiles.yml";
  write_file(real, "");
  fs::create_directories(home / ".zarn");
  fs::create_symlink(real, zarn_profiles());
  write_file(pelk_profiles(), kPelkProfiles);

  ASSERT_EQ(migrate({"--profiles-only"}).exit_status, 0);

  EXPECT_TRUE(fs::is_symlink(zarn_profiles()));
  EXPECT_EQ(read_file(real), kShopProfileOnly);
}

TEST_F(MigrateTest, ExistingProfileLeavesFileByteForByte) {
  const std::string existing = "shop: {target: mine}   # hand-written\n";
  write_file(zarn_profiles(), existing);
  const FileTimes times{{1000000000, 0}, {1000000000, 0}};
  set_times(zarn_profiles(), times);
  write_file(pelk_profiles(), kPelkProfiles);

  for (const bool dry : {true, false}) {
    const ZarnRun run = migrate(dry ? std::vector<std::string>{"--profiles-only", "--dry-run"}
                                    : std::vector<std::string>{"--profiles-only"});
    EXPECT_EQ(run.out,
              lines({"  Profile 'shop' already exists in ~/.zarn/profiles.yml - skipping"}) +
                  summary({"Profile 'shop' already exists"}));
    EXPECT_EQ(run.exit_status, 0);
  }
  EXPECT_EQ(read_file(zarn_profiles()), existing);
  EXPECT_EQ(times_of(zarn_profiles()).modification.tv_sec, 1000000000);
}

TEST_F(MigrateTest, FailedWriteKeepsOldProfilesFile) {
  const std::string existing = "big:\n  note: " + std::string(3000, 'x') + "\n";
  write_file(zarn_profiles(), existing);
  write_file(pelk_profiles(), kPelkProfiles);

  ZarnRun run;
  {
    const FileSizeLimit limit(1024);
    run = migrate({"--profiles-only"});
  }

  EXPECT_EQ(run.exit_status, 1);
  EXPECT_TRUE(run.err.starts_with("Error: ")) << run.err;
  EXPECT_NE(run.err.find("profiles.yml"), std::string::npos) << run.err;
  EXPECT_EQ(read_file(zarn_profiles()), existing);
  EXPECT_EQ(names_in(home / ".zarn"), std::vector<std::string>{"profiles.yml"});
}

struct BadFileCase {
  std::string name;
  std::string pelk_profiles;
  std::string error_after_path;  ///< what follows "Error: {path}" on standard error
};

/// Names the case in test listings instead of dumping its bytes.
void PrintTo(const BadFileCase& c, std::ostream* out) {
  *out << c.name;
}

class BadProfilesFile : public MigrateTest, public ::testing::WithParamInterface<BadFileCase> {};

TEST_P(BadProfilesFile, EndsWithOneLineErrorNamingTheFile) {
  write_file(pelk_profiles(), GetParam().pelk_profiles);

  const ZarnRun run = migrate({"--profiles-only"});

  EXPECT_EQ(run.exit_status, 1);
  EXPECT_EQ(run.out, "");
  const std::string prefix = "Error: " + pelk_profiles().string() + GetParam().error_after_path;
  EXPECT_TRUE(run.err.starts_with(prefix)) << run.err;
  EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
  EXPECT_FALSE(fs::exists(home / ".zarn"));
}

INSTANTIATE_TEST_SUITE_P(
    Migrate, BadProfilesFile,
    ::testing::Values(BadFileCase{"InvalidYaml", "shop: [unclosed\n", ":"},
                      BadFileCase{"TopLevelList", "- shop\n- other\n",
                                  ": expected a mapping at the top level, found a list\n"}),
    CaseName());

}  // namespace
}  // namespace zarn::testing
