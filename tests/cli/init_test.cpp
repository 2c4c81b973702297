#include <gtest/gtest.h>
#include <unistd.h>

#include <functional>
#include <optional>

#include "os/file_lock.h"
#include "support/file_tree.h"
#include "support/run_zarn.h"
#include "support/temp_dir.h"
#include "support/zarn_child.h"

namespace zarn::testing {
namespace {

namespace fs = std::filesystem;

ZarnRun init(const TempDir& dir, std::vector<std::string> arguments) {
  arguments.insert(arguments.begin(), "init");
  return run_zarn({arguments, dir.path(), dir / "home", {}, {}});
}

TEST(Init, CreatesTheProjectAndAddsTheProfile) {
  TempDir dir;
  const ZarnRun run = init(dir, {"shop"});
  ASSERT_EQ(run.exit_status, 0) << run.out << run.err;
  const auto tree = file_tree(dir / "shop");
  for (const char* folder : {"models", "analyses", "tests", "seeds", "macros", "snapshots"}) {
    EXPECT_EQ(tree.at(folder), "<dir>") << folder;
  }
  EXPECT_EQ(tree.at("flatfiles/.gitignore"),
            lines({"# Ignore all flat files (CSV, Parquet, etc.)", "*", "!.gitignore"}));
  EXPECT_TRUE(tree.at("zarn_project.yml").starts_with("name: 'shop'\n"));
  EXPECT_NE(tree.at("zarn_project.yml").find("\nprofile: 'shop'\n"), std::string::npos);

  const fs::path profiles = dir / "home" / ".zarn" / "profiles.yml";
  EXPECT_EQ(read_file(profiles), lines({"# ZARN Profiles Configuration", "",
                                        "shop:", "  outputs: {}", "  target: dev"}));
  EXPECT_EQ(mode_of(profiles), fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_NE(run.out.find("zarn target sync"), std::string::npos) << run.out;
}

TEST(Init, LeavesAnExistingProfileAloneAndTakesAnEmptyFolder) {
  TempDir dir;
  const std::string profiles = "shop:\n  target: prod\n  outputs: {prod: {type: duckdb}}\n";
  write_file(dir / "elsewhere" / "profiles.yml", profiles);
  fs::create_directory(dir / "shop");
  const ZarnRun run = init(dir, {"shop", "--profiles-dir", (dir / "elsewhere").string()});
  ASSERT_EQ(run.exit_status, 0) << run.out << run.err;
  EXPECT_EQ(read_file(dir / "elsewhere" / "profiles.yml"), profiles);
  EXPECT_NE(run.out.find("already exists"), std::string::npos) << run.out;
  EXPECT_TRUE(fs::exists(dir / "shop" / "zarn_project.yml"));
}

// A profiles file linked into a dotfiles checkout is locked where it lives:
// a writer that reaches it by its real path holds the same lock.
TEST(Init, ALinkedProfilesFileIsLockedInTheFolderItLivesIn) {
  TempDir dir;
  const fs::path real = dir / "dotfiles" / "profiles.yml";
  const fs::path link = dir / "home" / ".zarn" / "profiles.yml";
  write_file(real, "other:\n  target: dev\n");
  fs::create_directories(link.parent_path());
  fs::create_symlink(real, link);
  std::optional<os::FolderLock> held(std::in_place, real.parent_path());

  ZarnChild child({{"init", "shop"}, dir.path(), dir / "home", {}, {}}, dir.path());
  const std::string notice =
      "waiting for another zarn to finish with " + real.parent_path().string();
  bool waited = false;
  for (int i = 0; i < 200 && !waited; ++i) {
    waited = fs::exists(dir / "err") && read_file(dir / "err").find(notice) != std::string::npos;
    if (!waited) ::usleep(50000);
  }
  held.reset();
  EXPECT_EQ(child.wait(), 0);
  EXPECT_TRUE(waited);
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_NE(read_file(real).find("shop:"), std::string::npos);
}

struct RefusalCase {
  std::string label;
  std::string name;
  std::function<void(const TempDir&)> setup;
  std::string in_error;
};

void PrintTo(const RefusalCase& c, std::ostream* out) {
  *out << c.label;
}

class InitRefuses : public ::testing::TestWithParam<RefusalCase> {};

/// Each refusal exits 1 with one error line and leaves every file as it was.
TEST_P(InitRefuses, AndChangesNothing) {
  TempDir dir;
  GetParam().setup(dir);
  const auto before = file_tree(dir.path());
  const ZarnRun run = init(dir, {GetParam().name});
  EXPECT_EQ(run.exit_status, 1) << run.out << run.err;
  EXPECT_TRUE(run.err.starts_with("Error: ")) << run.err;
  EXPECT_NE(run.err.find(GetParam().in_error), std::string::npos) << run.err;
  EXPECT_EQ(file_tree(dir.path()), before);
}

void nothing(const TempDir&) {}
void broken_profiles(const TempDir& dir) {
  write_file(dir / "home" / ".zarn" / "profiles.yml", "shop: [unclosed\n");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, InitRefuses,
    ::testing::Values(
        RefusalCase{"folder with files", "shop",
                    [](const TempDir& dir) { write_file(dir / "shop" / "keep.sql", "x"); },
                    "not an empty folder"},
        RefusalCase{"file of that name", "shop",
                    [](const TempDir& dir) { write_file(dir / "shop", "x"); },
                    "not an empty folder"},
        RefusalCase{"path", "a/b", nothing, "not a valid project folder name"},
        RefusalCase{"parent folder", "..", nothing, "not a valid project folder name"},
        RefusalCase{"control character", "a\tb", nothing, "not a valid project folder name"},
        RefusalCase{"C1 control",
                    "a\xc2\x9b"
                    "2Jb",
                    nothing, "not a valid project folder name"},
        RefusalCase{"bidi override",
                    "a\xe2\x80\xae"
                    "b",
                    nothing, "not a valid project folder name"},
        RefusalCase{"bidi isolate",
                    "a\xe2\x81\xa8"
                    "b",
                    nothing, "not a valid project folder name"},
        RefusalCase{"broken profiles, new folder", "shop", broken_profiles, "profiles.yml"},
        RefusalCase{"broken profiles, empty folder", "shop",
                    [](const TempDir& dir) {
                      broken_profiles(dir);
                      fs::create_directory(dir / "shop");
                    },
                    "profiles.yml"}));

}  // namespace
}  // namespace zarn::testing
