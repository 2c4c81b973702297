#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "support/run_zarn.h"
#include "support/temp_dir.h"

namespace zarn::testing {
namespace {

namespace fs = std::filesystem;

/// A project whose one connection needs a JDBC driver, and a PELK setup to
/// migrate, in dir; the repository address refuses connections.
ZarnInvocation setup(const TempDir& dir, std::vector<std::string> arguments) {
  write_file(dir / "home" / ".pelk" / "profiles.yml",
             "shop:\n  target: dev\n  outputs:\n    dev: {type: postgres}\n");
  write_file(dir / "shop" / "pelk_project.yml", "name: shop\nprofile: shop\n");
  return {std::move(arguments),
          dir / "shop",
          dir / "home",
          {{"ZARN_MAVEN_REPO", "http://127.0.0.1:1/maven2"}, {"ZARN_PYTHON", "/usr/bin/python3"}},
          {"PYTHONPATH", "VIRTUAL_ENV"}};
}

const std::vector<std::string> kSync = {"target", "sync", "--profiles-dir", "../home/.pelk"};

/// Runs binary as run_zarn() runs the built one.
ZarnRun run_binary(const fs::path& binary, const ZarnInvocation& invocation, const TempDir& dir) {
  ChildCommand command = child_command(invocation);
  command.arguments[0] = binary.string();
  auto argv = exec_pointers(command.arguments);
  auto envp = exec_pointers(command.environment);
  const fs::path out = dir / "out";
  const fs::path err = dir / "err";
  const pid_t pid = fork();
  if (pid == 0) {
    const int out_fd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int err_fd = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (out_fd < 0 || err_fd < 0 || dup2(out_fd, 1) < 0 || dup2(err_fd, 2) < 0 ||
        chdir(invocation.working_dir.c_str()) != 0) {
      _exit(127);
    }
    execve(argv[0], argv.data(), envp.data());
    _exit(127);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, read_file(out), read_file(err)};
}

TEST(NetworkModule, OnlyACommandThatTransfersLoadsIt) {
  const struct {
    std::vector<std::string> arguments;
    bool loads;
  } cases[] = {
      {{"--version"}, false},
      {{"migrate", "--dry-run"}, false},
      {{"target", "list", "--profiles-dir", "../home/.pelk"}, false},
      {kSync, true},
  };
  for (const auto& test : cases) {
    TempDir dir;
    ZarnInvocation invocation = setup(dir, test.arguments);
    invocation.environment["LD_DEBUG"] = "files";  // the loader names each library it maps
    const ZarnRun run = run_zarn(invocation);
    EXPECT_EQ(run.err.find("libzarn-net.so") != std::string::npos, test.loads)
        << test.arguments[0] << ' ' << test.arguments.back();
    EXPECT_EQ(run.err.find("libcurl.so") != std::string::npos, test.loads)
        << test.arguments[0] << ' ' << test.arguments.back();
  }
}

TEST(NetworkModule, WithoutItOnlyATransferFailsNamingIt) {
  TempDir dir;
  const fs::path binary = dir / "bin" / "zarn";
  fs::create_directories(binary.parent_path());
  fs::copy_file(zarn_binary(), binary);

  const ZarnRun migrate = run_binary(binary, setup(dir, {"migrate", "--dry-run"}), dir);
  EXPECT_EQ(migrate.exit_status, 0) << migrate.err;

  const ZarnRun sync = run_binary(binary, setup(dir, kSync), dir);
  EXPECT_EQ(sync.exit_status, 1);
  EXPECT_EQ(sync.err, "Error: cannot load the network module libzarn-net.so: not in " +
                          (dir / "bin").string() + " nor in " + (dir / "lib" / "zarn").string() +
                          "\n");
}

}  // namespace
}  // namespace zarn::testing

namespace zarn::testing {
namespace {

// The installed place is used only when nobody but root and zarn's owner
// could have put the module there: /tmp/build/zarn must not load /tmp/lib/zarn.
TEST(NetworkModule, TheInstalledPlaceIsRefusedWhenOthersCanChangeIt) {
  struct Case {
    std::string label;
    fs::perms module_mode;
    fs::perms folder_mode;
    uid_t folder_owner;
    std::string refused;  ///< relative to the test folder; empty: loaded
  };
  const fs::perms plain = fs::perms::owner_all | fs::perms::group_read | fs::perms::others_read;
  const fs::perms open = plain | fs::perms::others_write;
  const Case cases[] = {
      {"guarded", plain, plain, 0, ""},
      {"module writable by others", open, plain, 0, "lib/zarn/libzarn-net.so"},
      {"folder writable by others", plain, open, 0, "lib/zarn"},
      {"folder of another user", plain, plain, 65534, "lib/zarn"},
  };
  for (const Case& c : cases) {
    if (c.folder_owner != 0 && ::geteuid() != 0) continue;  // giving a folder away needs root
    TempDir dir;
    const fs::path binary = dir / "bin" / "zarn";
    const fs::path module = dir / "lib" / "zarn" / "libzarn-net.so";
    fs::create_directories(binary.parent_path());
    fs::create_directories(module.parent_path());
    fs::copy_file(zarn_binary(), binary);
    fs::copy_file(zarn_binary().parent_path() / "libzarn-net.so", module);
    fs::permissions(module, c.module_mode);
    fs::permissions(module.parent_path(), c.folder_mode);
    if (c.folder_owner != 0) {
      ASSERT_EQ(::chown(module.parent_path().c_str(), c.folder_owner, 0), 0);
    }

    const ZarnRun sync = run_binary(binary, setup(dir, kSync), dir);
    const std::string refusal = "Error: cannot load the network module " + module.string() + ": " +
                                (dir / c.refused).string() +
                                " can be changed by others than root and the owner of zarn\n";
    EXPECT_EQ(sync.err == refusal, !c.refused.empty()) << c.label << ": " << sync.err;
    EXPECT_EQ(sync.err.find("network module") == std::string::npos, c.refused.empty())
        << c.label << ": " << sync.err;
  }
}

}  // namespace
}  // namespace zarn::testing
