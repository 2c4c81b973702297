#include "os/lock_file.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

#include "host/host.h"
#include "support/temp_dir.h"
#include "support/zarn_child.h"

namespace zarn::os {
namespace {

namespace fs = std::filesystem;
using testing::ended_process;
using testing::read_file;
using testing::TempDir;
using testing::write_file;

/// A wait that gives up, with SIGINT, on its third question.
LockWaiting giving_up(int& asked) {
  return {[&asked] { return ++asked >= 3 ? SIGINT : 0; }, {}};
}

// Where the file system has no flock, the lock is a file: held by a live
// process it is waited for, left by an ended one it is taken over.
TEST(LockFile, IsExclusiveAndTakesOverWhatAnEndedHolderLeft) {
  TempDir dir;
  const fs::path path = dir / ".zarn-lock";
  {
    const LockFile held(path, {});
    EXPECT_EQ(read_file(path), std::to_string(::getpid()) + "\n");
    int asked = 0;
    EXPECT_THROW(LockFile(path, giving_up(asked)), Interrupted);
    EXPECT_EQ(asked, 3);
  }
  EXPECT_FALSE(fs::exists(path));

  write_file(path, std::to_string(ended_process()) + "\n");
  int asked = 0;
  { const LockFile taken(path, giving_up(asked)); }
  EXPECT_LT(asked, 3);
  EXPECT_FALSE(fs::exists(path));
}

}  // namespace
}  // namespace zarn::os
