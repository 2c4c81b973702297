#include "host/file_lock.h"

#include <gtest/gtest.h>

#include <atomic>
#include <csignal>
#include <thread>

#include "host/host.h"
#include "support/temp_dir.h"

namespace zarn::host {
namespace {

namespace fs = std::filesystem;
using testing::TempDir;

TEST(FolderLock, ASecondLockWaitsSaysSoAfterASecondAndStopsOnAnInterrupt) {
  struct Case {
    const char* name;
    int signal;  ///< what the waiter's poll reports after 1.3 s
  };
  for (const Case c : {Case{"released by the holder", 0}, Case{"interrupted", SIGTERM}}) {
    TempDir dir;
    std::optional<FolderLock> holder(std::in_place, dir.path());
    std::atomic<int> pending{0};
    std::vector<fs::path> told;
    std::thread later([&] {
      std::this_thread::sleep_for(std::chrono::milliseconds(1300));
      if (c.signal != 0)
        pending = c.signal;
      else
        holder.reset();
    });
    try {
      const FolderLock waiter(dir.path(),
                              {[&] { return pending.load(); },
                               [&](const fs::path& folder) { told.push_back(folder); }});
      EXPECT_EQ(c.signal, 0) << c.name;
    } catch (const Interrupted& interrupted) {
      EXPECT_EQ(interrupted.signal(), c.signal) << c.name;
    }
    later.join();
    EXPECT_EQ(told, std::vector<fs::path>{dir.path()}) << c.name;
    EXPECT_TRUE(fs::is_empty(dir.path())) << c.name;  // no lock file left behind
  }
}

}  // namespace
}  // namespace zarn::host
