#include "host/atomic_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "support/temp_dir.h"

namespace zarn::host {
namespace {

namespace fs = std::filesystem;
using testing::read_file;
using testing::TempDir;
using testing::write_file;

mode_t mode_of(const fs::path& path) {
  struct stat info {};
  EXPECT_EQ(::stat(path.c_str(), &info), 0);
  return info.st_mode & 07777;
}

std::size_t entries_in(const fs::path& folder) {
  return static_cast<std::size_t>(std::distance(fs::directory_iterator(folder), {}));
}

TEST(AtomicFile, CommitReplacesTheTargetAndLeavesNoTemporaryFile) {
  TempDir dir;
  write_file(dir / "profiles.yml", "old");
  write_file_atomic(dir / "profiles.yml", "new content");
  EXPECT_EQ(read_file(dir / "profiles.yml"), "new content");
  EXPECT_EQ(entries_in(dir.path()), 1u);
}

TEST(AtomicFile, WithoutCommitTheOldFileStaysAndTheTemporaryGoes) {
  TempDir dir;
  write_file(dir / "profiles.yml", "old");
  {
    AtomicFile file(dir / "profiles.yml");
    file.write("half of it");
    EXPECT_TRUE(fs::exists(file.temporary_path()));
    EXPECT_TRUE(is_atomic_temporary_name(file.temporary_path().filename().string()));
  }
  EXPECT_EQ(read_file(dir / "profiles.yml"), "old");
  EXPECT_EQ(entries_in(dir.path()), 1u);
}

TEST(AtomicFile, NewFileGetsTheGivenModeAndAnExistingOneKeepsItsOwn) {
  TempDir dir;
  write_file_atomic(dir / "new.yml", "x", fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_EQ(mode_of(dir / "new.yml"), 0600u);

  write_file(dir / "shared.yml", "x");
  ::chmod((dir / "shared.yml").c_str(), 0640);
  write_file_atomic(dir / "shared.yml", "y", fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_EQ(mode_of(dir / "shared.yml"), 0640u);
}

TEST(AtomicFile, TemporaryNamesNeverEndLikeTheTarget) {
  TempDir dir;
  AtomicFile file(dir / "driver-1.0.jar");
  const std::string name = file.temporary_path().filename().string();
  EXPECT_FALSE(name.ends_with(".jar")) << name;
  EXPECT_TRUE(name.starts_with(".driver-1.0.jar")) << name;
  EXPECT_FALSE(is_atomic_temporary_name("driver-1.0.jar"));
}

TEST(AtomicFile, MissingFolderIsAnErrorNamingTheTarget) {
  TempDir dir;
  try {
    write_file_atomic(dir / "absent" / "profiles.yml", "x");
    FAIL() << "no error";
  } catch (const std::runtime_error& error) {
    EXPECT_NE(std::string(error.what()).find("absent/profiles.yml"), std::string::npos)
        << error.what();
  }
}

}  // namespace
}  // namespace zarn::host
