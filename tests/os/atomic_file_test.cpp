#include "os/atomic_file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "support/temp_dir.h"
#include "support/zarn_child.h"

namespace zarn::os {
namespace {

namespace fs = std::filesystem;
using testing::ended_process;
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

// Root rewriting a user's file (sudo keeping HOME) gives it back to the user.
TEST(AtomicFile, ARewriteKeepsTheOwnerAndGroup) {
  if (::geteuid() != 0) GTEST_SKIP() << "only root may give a file away";
  TempDir dir;
  write_file(dir / "profiles.yml", "old");
  ASSERT_EQ(::chown((dir / "profiles.yml").c_str(), 65534, 65534), 0);
  write_file_atomic(dir / "profiles.yml", "new");
  struct stat info {};
  ASSERT_EQ(::stat((dir / "profiles.yml").c_str(), &info), 0);
  EXPECT_EQ(info.st_uid, 65534u);
  EXPECT_EQ(info.st_gid, 65534u);
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

TEST(AtomicFile, TemporaryIsOwnerOnlyUntilCommitGivesTheFinalMode) {
  TempDir dir;
  write_file(dir / "profiles.yml", "old");
  ::chmod((dir / "profiles.yml").c_str(), 0644);
  AtomicFile file(dir / "profiles.yml");
  file.write("password: hunter2\n");
  EXPECT_EQ(mode_of(file.temporary_path()), 0600u);
  file.commit();
  EXPECT_EQ(mode_of(dir / "profiles.yml"), 0644u);
}

TEST(AtomicFile, ShutdownRemovesTheTemporariesStillOpen) {
  TempDir dir;
  AtomicFile file(dir / "profiles.yml");
  file.write("half");
  remove_live_temporaries();
  EXPECT_EQ(entries_in(dir.path()), 0u);
}

TEST(AtomicFile, ANewWriterRemovesOnlyTheLeftoversOfEndedWriters) {
  struct Case {
    std::string name;
    bool locked;  ///< held by a live writer's lock
    bool removed;
  };
  const std::string dead = std::to_string(ended_process());
  const std::string alive = std::to_string(::getpid());
  const Case cases[] = {
      {".profiles.yml.zarn-tmp-" + dead + "-aaaaaa", false, true},
      {".profiles.yml.zarn-tmp-bbbbbb", false, true},  // named before writers put their pid in
      {".profiles.yml.zarn-tmp-" + alive + "-cccccc", false, false},
      {".profiles.yml.zarn-tmp-" + dead + "-dddddd", true, false},   // pid reused elsewhere
      {".computes.yml.zarn-tmp-" + dead + "-eeeeee", false, false},  // another target's
  };
  TempDir dir;
  std::vector<int> locks;
  for (const Case& c : cases) {
    write_file(dir / c.name, "password: hunter2\n");
    if (!c.locked) continue;
    locks.push_back(::open((dir / c.name).c_str(), O_RDONLY | O_CLOEXEC));
    ASSERT_EQ(::flock(locks.back(), LOCK_EX), 0);
  }
  write_file_atomic(dir / "profiles.yml", "new");
  for (const Case& c : cases) EXPECT_EQ(!fs::exists(dir / c.name), c.removed) << c.name;
  for (const int fd : locks) ::close(fd);
}

}  // namespace
}  // namespace zarn::os
