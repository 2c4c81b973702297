#include "os/files.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include "os/home.h"
#include "support/temp_dir.h"

namespace zarn::os {
namespace {

namespace fs = std::filesystem;
using testing::read_file;
using testing::TempDir;
using testing::write_file;

TEST(CopyFileAtomic, KeepsContentModeAndTimes) {
  TempDir dir;
  write_file(dir / "pelk_project.yml", "name: shop\n");
  ::chmod((dir / "pelk_project.yml").c_str(), 0751);
  const timespec times[2] = {{1'000'000'000, 123'456'789}, {1'100'000'000, 987'654'321}};
  ASSERT_EQ(::utimensat(AT_FDCWD, (dir / "pelk_project.yml").c_str(), times, 0), 0);

  copy_file_atomic(dir / "pelk_project.yml", dir / "pelk_project.yml.bak");

  struct stat copy {};
  ASSERT_EQ(::stat((dir / "pelk_project.yml.bak").c_str(), &copy), 0);
  EXPECT_EQ(read_file(dir / "pelk_project.yml.bak"), "name: shop\n");
  EXPECT_EQ(copy.st_mode & 07777, 0751u);
  EXPECT_EQ(copy.st_atim.tv_sec, times[0].tv_sec);
  EXPECT_EQ(copy.st_mtim.tv_sec, times[1].tv_sec);
  EXPECT_EQ(copy.st_mtim.tv_nsec, times[1].tv_nsec);
}

TEST(CopyFileAtomic, OverwritesAnExistingDestinationAndFollowsLinks) {
  TempDir dir;
  write_file(dir / "real.sql", "select 1");
  fs::create_symlink(dir / "real.sql", dir / "link.sql");
  write_file(dir / "copy.sql", "a much longer old content that must go");
  copy_file_atomic(dir / "link.sql", dir / "copy.sql");
  EXPECT_EQ(read_file(dir / "copy.sql"), "select 1");
  EXPECT_FALSE(fs::is_symlink(dir / "copy.sql"));
}

TEST(Files, ErrorsNameThePath) {
  TempDir dir;
  const auto message_of = [](auto action) -> std::string {
    try {
      action();
    } catch (const std::runtime_error& error) {
      return error.what();
    }
    return "no error";
  };
  EXPECT_EQ(message_of([&] { read_text_file(dir / "missing.yml"); }),
            "cannot read " + (dir / "missing.yml").string() + ": No such file or directory");
  write_file(dir / "flatfiles", "a file in the way");
  EXPECT_EQ(message_of([&] { create_folder(dir / "flatfiles"); }),
            "cannot create folder " + (dir / "flatfiles").string() + ": File exists");
  EXPECT_EQ(message_of([&] { create_folder(dir / "a" / "b"); }),
            "cannot create folder " + (dir / "a" / "b").string() + ": No such file or directory");
  // A name from a copied tree cannot forge a line of the error.
  EXPECT_EQ(message_of([&] { create_folder(dir / "a\nb" / "c"); }),
            "cannot create folder " + dir.path().string() + "/a\\nb/c: No such file or directory");
}

TEST(Files, ReadsRefuseWhatIsNotARegularFileWithoutWaiting) {
  TempDir dir;
  write_file(dir / "real.yml", "a: 1\n");
  ASSERT_EQ(::mkfifo((dir / "fifo.yml").c_str(), 0600), 0);
  fs::create_directory(dir / "folder.yml");
  fs::create_symlink(dir / "fifo.yml", dir / "link-to-fifo.yml");
  fs::create_symlink(dir / "real.yml", dir / "link-to-real.yml");
  for (const char* name : {"fifo.yml", "folder.yml", "link-to-fifo.yml"}) {
    const std::string refusal = "cannot read " + (dir / name).string() + ": not a regular file";
    for (const bool copy : {false, true}) {
      try {
        if (copy)
          copy_file_atomic(dir / name, dir / "copy.yml");
        else
          read_text_file(dir / name);
        ADD_FAILURE() << "no error for " << name;
      } catch (const std::runtime_error& error) {
        EXPECT_EQ(error.what(), refusal);
      }
    }
  }
  EXPECT_FALSE(fs::exists(dir / "copy.yml"));
  EXPECT_EQ(read_text_file(dir / "link-to-real.yml"), "a: 1\n");
}

TEST(Files, EntryExistsCountsDanglingLinks) {
  TempDir dir;
  fs::create_symlink(dir / "nowhere", dir / "zarn_project.yml");
  EXPECT_TRUE(entry_exists(dir / "zarn_project.yml"));
  EXPECT_FALSE(entry_exists(dir / "pelk_project.yml"));
}

TEST(HomeDir, PrefersHomeAndFallsBackToThePasswordDatabase) {
  EXPECT_EQ(home_dir(Environment(std::map<std::string, std::string>{{"HOME", "/tmp/someone"}})),
            fs::path("/tmp/someone"));
  const passwd* entry = ::getpwuid(::getuid());
  ASSERT_TRUE(entry != nullptr && entry->pw_dir != nullptr && *entry->pw_dir != '\0');
  for (const Environment& environment :
       {Environment(std::map<std::string, std::string>{{"HOME", ""}}), Environment()}) {
    EXPECT_EQ(home_dir(environment), fs::path(entry->pw_dir));
  }
}

}  // namespace
}  // namespace zarn::os
