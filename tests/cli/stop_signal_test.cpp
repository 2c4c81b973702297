#include <gtest/gtest.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <string>

#include "support/run_zarn.h"
#include "support/temp_dir.h"
#include "support/zarn_child.h"

namespace zarn::testing {
namespace {

namespace fs = std::filesystem;

/// A stand-in for the adapters' interpreter: a shell script that behaves so.
fs::path fake_interpreter(const fs::path& dir, const std::string& behaviour) {
  const fs::path script = dir / "python";
  write_file(script, "#!/bin/sh\n" + behaviour + "\n");
  fs::permissions(script, fs::perms::owner_all);
  return script;
}

/// Whether the process has ended (gone, or a zombie nobody reaps), waiting a bounded while.
bool ends(pid_t pid) {
  for (int i = 0; i < 200; ++i) {
    const std::string stat = "/proc/" + std::to_string(pid) + "/stat";
    if (!fs::exists(stat)) return true;
    const std::string text = read_file(stat);
    if (text.find(") Z ") != std::string::npos) return true;
    ::usleep(50000);
  }
  return false;
}

// A closed terminal or SIGQUIT stops zarn as SIGTERM does; the same signal
// again during the child's grace kills the child at once, never orphans it.
TEST(StopSignals, AndARepeatedSignalLeaveNoInstallerRunning) {
  struct Case {
    int signal;
    bool repeated;
    int status;
  };
  const Case cases[] = {
      {SIGHUP, false, 129}, {SIGQUIT, false, 131}, {SIGINT, true, 130}, {SIGTERM, true, 143}};
  for (const Case& c : cases) {
    TempDir dir;
    fs::create_directories(dir / "project");
    // The installer ignores INT and TERM (noting them) and ends on HUP and QUIT.
    const fs::path python = fake_interpreter(
        dir.path(), "trap '' INT TERM HUP QUIT\nsleep 30 &\necho $! > " +
                        (dir / "sleeper").string() + "\ntrap 'echo got >> " +
                        (dir / "got").string() + "' INT TERM\ntrap 'exit 1' HUP QUIT\necho $$ > " +
                        (dir / "pid").string() +
                        "\nwhile kill -0 $! 2>/dev/null; do wait $!; done");
    ZarnChild child({{"target", "install", "mysql"},
                     dir / "project",
                     dir / "home",
                     {{"ZARN_PYTHON", python.string()}},
                     {}});
    for (int i = 0; i < 200 && !fs::exists(dir / "pid"); ++i) ::usleep(50000);
    ASSERT_TRUE(fs::exists(dir / "pid")) << c.signal;
    const pid_t installer = std::stoi(read_file(dir / "pid"));
    const pid_t sleeper = std::stoi(read_file(dir / "sleeper"));
    child.signal(c.signal);
    if (c.repeated) {
      for (int i = 0; i < 200 && !fs::exists(dir / "got"); ++i) ::usleep(50000);
      ASSERT_TRUE(fs::exists(dir / "got")) << c.signal;  // the first one was forwarded
      child.signal(c.signal);
    }
    EXPECT_EQ(child.wait(), c.status) << c.signal;
    EXPECT_TRUE(ends(installer)) << c.signal;
    if (c.repeated) {
      EXPECT_TRUE(ends(sleeper)) << c.signal;  // the whole group
    }
    ::kill(sleeper, SIGKILL);
  }
}

}  // namespace
}  // namespace zarn::testing
