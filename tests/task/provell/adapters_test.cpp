#include <unistd.h>

#include <chrono>
#include <csignal>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/python_env.h"
#include "support/run_zarn.h"
#include "support/zarn_child.h"
#include "task/provell/outcome_lists.h"
#include "task/provell/task_fixture.h"

namespace zarn::provell {
namespace {

namespace fs = std::filesystem;
using Packages = std::vector<std::string>;

/// A real virtual environment holding pip, and wheels for three adapters;
/// pelk-oracle has no wheel, so installing it fails as an unknown package would.
class AdaptersTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    python_env_ = std::make_unique<testing::PythonEnv>(std::vector<testing::PythonEnv::Wheel>{
        {"pelk-postgres", "postgres"}, {"pelk-mysql", "mysql"}, {"pelk-spark", "spark"}});
    python_env_->use_offline_pip();
  }
  static void TearDownTestSuite() { python_env_.reset(); }

  static std::string python() { return python_env_->python().string(); }
  /// The task's environment: the interpreter, and pip kept offline.
  static std::map<std::string, std::string> pip_environment() {
    auto variables = python_env_->offline_pip_variables();
    variables["ZARN_PYTHON"] = python();
    return variables;
  }

  static std::unique_ptr<testing::PythonEnv> python_env_;
};

std::unique_ptr<testing::PythonEnv> AdaptersTest::python_env_;

TEST_F(AdaptersTest, InstallsDetectsAndRemovesThroughTheInterpretersPip) {
  TaskFixture f(pip_environment());
  ASSERT_EQ(f.task->get_installed_adapters(), std::set<std::string>{});

  // mariadb and mysql share a package, so it is installed (and listed) twice.
  const auto [installed, failed] =
      lists(f.task->install_adapters({"mysql", "mariadb", "postgres", "nosuch"}));
  EXPECT_EQ(installed, (Packages{"pelk-mysql", "pelk-mysql", "pelk-postgres"}));
  EXPECT_EQ(failed, Packages{});
  EXPECT_EQ(f.out.str(),
            "    Installing pelk-mysql...\n"
            "      ✓ pelk-mysql installed\n"
            "    Installing pelk-mysql...\n"
            "      ✓ pelk-mysql installed\n"
            "    ⚠ Unknown adapter type: nosuch\n"
            "    Installing pelk-postgres...\n"
            "      ✓ pelk-postgres installed\n");

  // timescaledb uses pelk-postgres too, but has no module of its own to find.
  EXPECT_EQ(f.task->get_installed_adapters(),
            (std::set<std::string>{"mariadb", "mysql", "postgres"}));

  f.out.str("");
  const auto [removed, not_removed] =
      lists(f.task->uninstall_adapters({"mariadb", "postgres", "nosuch"}));
  EXPECT_EQ(removed, (Packages{"pelk-mysql", "pelk-postgres"}));
  EXPECT_EQ(not_removed, Packages{});
  EXPECT_EQ(f.out.str(),
            "    Removing pelk-mysql...\n"
            "      ✓ pelk-mysql removed\n"
            "    Removing pelk-postgres...\n"
            "      ✓ pelk-postgres removed\n");
  EXPECT_EQ(f.task->get_installed_adapters(), std::set<std::string>{});
}

TEST_F(AdaptersTest, APackageWithoutAWheelFailsWithAnExcerptOfPipsError) {
  TaskFixture f(pip_environment());
  const auto [installed, failed] = lists(f.task->install_adapters({"oracle", "spark"}));
  f.task->uninstall_adapters({"spark"}, false);
  EXPECT_EQ(installed, Packages{"pelk-spark"});
  EXPECT_EQ(failed, Packages{"pelk-oracle"});
  const std::string out = f.out.str();
  EXPECT_TRUE(
      out.starts_with("    Installing pelk-oracle...\n"
                      "      ✗ Failed to install pelk-oracle\n"
                      "        ERROR: Could not find a version that satisfies the "
                      "requirement pelk-oracle"))
      << out;
  EXPECT_TRUE(out.ends_with("    Installing pelk-spark...\n      ✓ pelk-spark installed\n"));
}

TEST_F(AdaptersTest, IgnoresAnAdapterFolderInTheWorkingFolder) {
  TaskFixture f(pip_environment());
  testing::write_file(f.dir / "cwd/pelk/adapters/duckdb/__init__.py", "");
  const fs::path previous = fs::current_path();
  fs::current_path(f.dir / "cwd");
  const std::set<std::string> installed = f.task->get_installed_adapters();
  fs::current_path(previous);
  EXPECT_EQ(installed, std::set<std::string>{});
}

TEST_F(AdaptersTest, TheCommandLineExitsNonZeroOnlyWhenAPackageFailed) {
  testing::TempDir dir;
  fs::create_directories(dir / "project");
  struct Case {
    std::vector<std::string> arguments;
    int exit_status;
    std::string line;
  };
  const Case cases[] = {
      {{"target", "install", "mysql"}, 0, "      ✓ pelk-mysql installed\n"},
      {{"target", "install", "oracle", "--quiet"}, 1, ""},
      {{"target", "uninstall", "mariadb"}, 0, "      ✓ pelk-mysql removed\n"},
  };
  for (const Case& c : cases) {
    const testing::ZarnRun run = testing::run_zarn(
        {c.arguments, dir / "project", dir / "home", {{"ZARN_PYTHON", python()}}, {}});
    EXPECT_EQ(run.exit_status, c.exit_status) << c.arguments[1] << ": " << run.out << run.err;
    if (c.line.empty()) {
      EXPECT_EQ(run.out, "");
    } else {
      EXPECT_NE(run.out.find(c.line), std::string::npos) << run.out;
    }
  }
}

/// A stand-in for the interpreter: a script that records its arguments and
/// behaves as the case says, for outcomes a real pip cannot be made to give.
class FakeInterpreter {
 public:
  FakeInterpreter(const fs::path& dir, const std::string& behaviour) : dir_(dir) {
    testing::write_file(script(), "#!/bin/sh\nprintf '%s\\n' \"$@\" > '" +
                                      arguments_file().string() + "'\n" + behaviour + "\n");
    fs::permissions(script(), fs::perms::owner_all);
  }
  fs::path script() const { return dir_ / "python"; }
  fs::path arguments_file() const { return dir_ / "arguments"; }
  std::string arguments() const { return testing::read_file(arguments_file()); }

 private:
  fs::path dir_;
};

TEST(AdapterInstaller, ReportsEachOutcomeOfTheInstaller) {
  // 150 two-byte characters, then 350 one-byte ones: the excerpt is 200 characters.
  std::string long_error;
  for (int i = 0; i < 150; ++i) long_error += "é";
  long_error += std::string(350, 'x');
  const std::string excerpt = long_error.substr(0, 300 + 50);

  struct Case {
    const char* name;
    bool install;
    std::string behaviour;
    std::string expected_out;
    PackageOutcome expected;
    std::string expected_arguments;
  };
  const Case cases[] = {
      {"install succeeds",
       true,
       "exit 0",
       "    Installing pelk-postgres...\n      ✓ pelk-postgres installed\n",
       {{"pelk-postgres"}, {}},
       "-m\npip\ninstall\npelk-postgres\n--quiet\n"},
      {"install fails with a long error",
       true,
       "cat \"$(dirname \"$0\")/error\" >&2; exit 1",
       "    Installing pelk-postgres...\n      ✗ Failed to install pelk-postgres\n        " +
           excerpt + "\n",
       {{}, {"pelk-postgres"}},
       "-m\npip\ninstall\npelk-postgres\n--quiet\n"},
      {"install fails silently",
       true,
       "exit 1",
       "    Installing pelk-postgres...\n      ✗ Failed to install pelk-postgres\n",
       {{}, {"pelk-postgres"}},
       "-m\npip\ninstall\npelk-postgres\n--quiet\n"},
      {"installer killed",
       true,
       "kill -KILL $$",
       "    Installing pelk-postgres...\n      ✗ Failed to install pelk-postgres\n",
       {{}, {"pelk-postgres"}},
       "-m\npip\ninstall\npelk-postgres\n--quiet\n"},
      {"uninstall succeeds",
       false,
       "exit 0",
       "    Removing pelk-postgres...\n      ✓ pelk-postgres removed\n",
       {{"pelk-postgres"}, {}},
       "-m\npip\nuninstall\npelk-postgres\n-y\n--quiet\n"},
      {"uninstall fails, its error text is not shown",
       false,
       "echo 'not removed' >&2; exit 2",
       "    Removing pelk-postgres...\n      ✗ Failed to remove pelk-postgres\n",
       {{}, {"pelk-postgres"}},
       "-m\npip\nuninstall\npelk-postgres\n-y\n--quiet\n"},
  };
  for (const Case& c : cases) {
    testing::TempDir bin;
    testing::write_file(bin / "error", long_error);
    const FakeInterpreter fake(bin.path(), c.behaviour);
    for (const bool verbose : {true, false}) {
      TaskFixture f({{"ZARN_PYTHON", fake.script().string()}});
      const PackageOutcome outcome = c.install
                                         ? lists(f.task->install_adapters({"postgres"}, verbose))
                                         : lists(f.task->uninstall_adapters({"postgres"}, verbose));
      EXPECT_EQ(outcome, c.expected) << c.name;
      EXPECT_EQ(f.out.str(), verbose ? c.expected_out : "") << c.name;
      EXPECT_EQ(fake.arguments(), c.expected_arguments) << c.name;
    }
  }
}

TEST(AdapterInstaller, CtrlCStopsTheRemainingPackages) {
  testing::TempDir dir;
  fs::create_directories(dir / "project");
  const FakeInterpreter fake(dir.path(), "kill -INT $PPID; exit 1");
  const testing::ZarnRun run = testing::run_zarn({{"target", "install", "mysql", "postgres"},
                                                  dir / "project",
                                                  dir / "home",
                                                  {{"ZARN_PYTHON", fake.script().string()}},
                                                  {}});
  EXPECT_EQ(run.exit_status, 130);
  EXPECT_NE(run.out.find("Installing pelk-mysql..."), std::string::npos) << run.out;
  EXPECT_EQ(run.out.find("pelk-postgres"), std::string::npos) << run.out;
}

// What timeout, systemd and CI cancels send: the installer is stopped with
// zarn, not left running as an orphan.
TEST(AdapterInstaller, SigtermToZarnAloneStopsTheInstallerToo) {
  testing::TempDir dir;
  fs::create_directories(dir / "project");
  const FakeInterpreter fake(dir.path(), "trap 'echo stopped > " + (dir / "stopped").string() +
                                             "; exit 1' TERM\necho $$ > " + (dir / "pid").string() +
                                             "\nsleep 30 & wait");
  testing::ZarnChild child({{"target", "install", "mysql"},
                            dir / "project",
                            dir / "home",
                            {{"ZARN_PYTHON", fake.script().string()}},
                            {}});
  for (int i = 0; i < 200 && !fs::exists(dir / "pid"); ++i) ::usleep(50000);
  ASSERT_TRUE(fs::exists(dir / "pid"));
  child.signal(SIGTERM);
  EXPECT_EQ(child.wait(), 143);
  EXPECT_EQ(testing::read_file(dir / "stopped"), "stopped\n");
  const pid_t installer = std::stoi(testing::read_file(dir / "pid"));
  EXPECT_NE(::kill(installer, 0), 0);  // ended and reaped
}

TEST(AdapterInstaller, AnInterpreterThatCannotStartFailsEachPackage) {
  TaskFixture f({{"ZARN_PYTHON", std::string("/nonexistent/python")}});
  const auto [installed, failed] = lists(f.task->install_adapters({"mysql", "postgres"}));
  EXPECT_EQ(installed, Packages{});
  EXPECT_EQ(failed, (Packages{"pelk-mysql", "pelk-postgres"}));
  const auto [removed, not_removed] = lists(f.task->uninstall_adapters({"postgres", "nosuch"}));
  EXPECT_EQ(removed, Packages{});
  EXPECT_EQ(not_removed, Packages{"pelk-postgres"});
  EXPECT_EQ(f.out.str(),
            "    Installing pelk-mysql...\n"
            "      ✗ Error installing pelk-mysql: cannot run /nonexistent/python: No such file or "
            "directory\n"
            "    Installing pelk-postgres...\n"
            "      ✗ Error installing pelk-postgres: cannot run /nonexistent/python: No such file "
            "or directory\n"
            "    Removing pelk-postgres...\n"
            "      ✗ Error removing pelk-postgres: cannot run /nonexistent/python: No such file or "
            "directory\n");
  try {
    f.task->get_installed_adapters();
    ADD_FAILURE() << "no error";
  } catch (const std::runtime_error& error) {
    EXPECT_EQ(std::string(error.what()),
              "cannot look up the installed adapters: cannot run /nonexistent/python: No such file "
              "or directory");
  }
}

TEST(AdapterInstaller, NothingToDoPrintsNothing) {
  TaskFixture f({{"ZARN_PYTHON", std::string("/nonexistent/python")}});
  EXPECT_EQ(lists(f.task->install_adapters({})), PackageOutcome{});
  EXPECT_EQ(lists(f.task->uninstall_adapters({})), PackageOutcome{});
  EXPECT_EQ(lists(f.task->install_adapters({"nosuch", "Postgres"}, false)), PackageOutcome{});
  EXPECT_EQ(lists(f.task->uninstall_adapters({"nosuch"})), PackageOutcome{});
  EXPECT_EQ(f.out.str(), "");
}

TEST(AdapterInstaller, AFailingModuleLookupIsAnError) {
  testing::TempDir bin;
  const FakeInterpreter fake(
      bin.path(), "printf 'Traceback:\\n  x\\nSyntaxError: broken site\\n\\n' >&2; exit 1");
  TaskFixture f({{"ZARN_PYTHON", fake.script().string()}});
  try {
    f.task->get_installed_adapters();
    ADD_FAILURE() << "no error";
  } catch (const std::runtime_error& error) {
    EXPECT_EQ(std::string(error.what()),
              "cannot look up the installed adapters: " + fake.script().string() +
                  " exited with status 1: SyntaxError: broken site");
  }
  // One interpreter start answers for every module, each asked once.
  const std::string arguments = fake.arguments();
  EXPECT_TRUE(arguments.starts_with("-c\n"));
  std::size_t modules = 0;
  for (auto at = arguments.find("\npelk.adapters."); at != std::string::npos;
       at = arguments.find("\npelk.adapters.", at + 1)) {
    ++modules;
  }
  EXPECT_EQ(modules, 28u);  // mariadb is found through the mysql module
  EXPECT_EQ(arguments.find("\npelk.adapters.mysql\n"), arguments.rfind("\npelk.adapters.mysql\n"));
}

}  // namespace
}  // namespace zarn::provell
