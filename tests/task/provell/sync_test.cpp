// `zarn target sync` through the built binary: the whole report, and what a
// killed or interrupted run leaves in the driver folder.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <thread>

#include "support/maven_server.h"
#include "support/run_zarn.h"
#include "support/temp_dir.h"
#include "support/zarn_child.h"

namespace zarn::testing {
namespace {

namespace fs = std::filesystem;

const std::string kMysql = "com.mysql:mysql-connector-j:9.1.0";
const std::string kMariadb = "org.mariadb.jdbc:mariadb-java-client:3.4.1";
const std::string kPostgres = "org.postgresql:postgresql:42.7.4";
constexpr std::size_t kMegabyte = 1024 * 1024;

const std::string kProfiles =
    "dev:\n"
    "  target: pg\n"
    "  outputs:\n"
    "    pg: {type: postgres}\n"
    "    my: {type: mysql}\n"
    "    maria: {type: mariadb}\n"
    "    weird: {type: foo}\n";

const std::string kDash = "----------------------------------------";
const std::string kEquals = "============================================================";

class SyncTest : public ::testing::Test {
 protected:
  void SetUp() override {
    write_file(dir / "profiles" / "profiles.yml", kProfiles);
    fs::create_directories(dir / "project");
    fs::create_directories(dir / "home");
    server.add_jar(kMysql, kMegabyte);
    server.add_jar(kMariadb, kMegabyte / 2);
    server.add_jar(kPostgres, 5 * kMegabyte / 2);
  }

  ZarnInvocation invocation(std::vector<std::string> options) const {
    std::vector<std::string> arguments{"target",         "sync",
                                       "--project-dir",  project().string(),
                                       "--profiles-dir", (dir / "profiles").string(),
                                       "--profile",      "dev"};
    arguments.insert(arguments.end(), options.begin(), options.end());
    std::map<std::string, std::string> environment{
        {"ZARN_MAVEN_REPO", server.repo_url()},
        {"ZARN_PYTHON", "/usr/bin/python3"},
        {"no_proxy", "127.0.0.1,localhost"},
        {"NO_PROXY", "127.0.0.1,localhost"},
    };
    std::vector<std::string> unset{"VIRTUAL_ENV", "http_proxy", "https_proxy", "HTTPS_PROXY"};
    if (adapters_path.empty()) {
      unset.push_back("PYTHONPATH");
    } else {
      environment["PYTHONPATH"] = adapters_path.string();
    }
    return {arguments, dir / "project", dir / "home", environment, unset};
  }

  ZarnRun sync(std::vector<std::string> options = {}) const {
    return run_zarn(invocation(std::move(options)));
  }

  /// Makes the interpreter find these adapter modules below pelk.adapters.
  void install_adapters(std::initializer_list<const char*> modules) {
    adapters_path = dir / "site";
    for (const char* module : modules) {
      write_file(adapters_path / "pelk" / "adapters" / module / "__init__.py", "");
    }
  }

  fs::path project() const { return dir / "project"; }
  fs::path jars() const { return project() / ".zarn" / "jdbc_jars"; }

  MavenServer server;
  TempDir dir;
  fs::path adapters_path;
};

std::string head() {
  return "\nZARN Target Sync\n" + kEquals + "\nProfile: dev\n\nConnections found: 4\n" + kDash +
         "\n\n  foo (1 connection(s)):\n    - weird\n    Package: unknown\n"
         "\n  mariadb (1 connection(s)):\n    - maria\n    Package: pelk-mysql\n"
         "\n  mysql (1 connection(s)):\n    - my\n    Package: pelk-mysql\n"
         "\n  postgres (1 connection(s)):\n    - pg\n    Package: pelk-postgres\n"
         "\n" +
         kDash + "\n\nAdapter Status:\n";
}

std::string install_commands(const std::vector<std::string>& packages) {
  std::string text = "\n" + kDash + "\n\nMissing Adapters (" + std::to_string(packages.size()) +
                     "):\n  Install manually with pip or uv:\n\n";
  for (const auto& package : packages) {
    text += "    pip install " + package + "\n    # or: uv pip install " + package + "\n\n";
  }
  return text;
}

std::string downloads(const fs::path& jars, const std::string& mysql_line) {
  return "\n" + kDash +
         "\n\nDownloading JDBC JARs...\n"
         "\n  Resolving JDBC dependencies...\n    Direct dependencies: 3\n"
         "    Total JARs to download: 3\n\n  Downloading to " +
         jars.string() + "/\n" + mysql_line +
         "      Downloading mariadb-java-client-3.4.1.jar...\n        ✓ Downloaded (0.5 MB)\n"
         "      Downloading postgresql-42.7.4.jar...\n        ✓ Downloaded (2.5 MB)\n";
}

std::string update_and_end(const fs::path& jars, const std::string& cleaned = "") {
  return "\n" + kDash +
         "\n\nUpdating JDBC configuration...\n"
         "\n  JDBC JARs downloaded (3):\n    - mariadb-java-client-3.4.1.jar\n"
         "    - mysql-connector-j-9.1.0.jar\n    - postgresql-42.7.4.jar\n"
         "\n  ✓ JARs stored in: " +
         jars.string() +
         "\n    (Spark discovers JARs at runtime - portable across folder moves)\n" + cleaned +
         "\n" + kEquals + "\n✓ Sync complete\n\nYou can now run: zarn run\n";
}

const std::string kMysqlDownloaded =
    "      Downloading mysql-connector-j-9.1.0.jar...\n        ✓ Downloaded (1.0 MB)\n";
const std::string kAllMissing =
    "\n  To install (4):\n    - foo: pip install unknown\n    - mariadb: pip install pelk-mysql\n"
    "    - mysql: pip install pelk-mysql\n    - postgres: pip install pelk-postgres\n";

TEST_F(SyncTest, TheWholeReportOfAFirstRun) {
  write_file(project() / ".zarn" / "computes.yml",
             "spark-local:\n  config:\n    spark.jars: old.jar\n    spark.master: local[*]\n");
  const ZarnRun run = sync();
  EXPECT_EQ(run.exit_status, 0) << run.err;
  EXPECT_EQ(run.out,
            head() + kAllMissing +
                install_commands({"unknown", "pelk-mysql", "pelk-mysql", "pelk-postgres"}) +
                downloads(jars(), kMysqlDownloaded) +
                update_and_end(jars(),
                               "\n  ✓ Cleaned up old spark.jars config (now uses runtime "
                               "discovery)\n"));
  EXPECT_EQ(read_file(project() / ".zarn" / "computes.yml").find("spark.jars"), std::string::npos);
  EXPECT_EQ(fs::file_size(jars() / "postgresql-42.7.4.jar"), 5 * kMegabyte / 2);
}

TEST_F(SyncTest, InstalledAdaptersThatNoConnectionUses) {
  install_adapters({"postgres", "snowflake"});
  const std::string to_install =
      "\n  To install (3):\n    - foo: pip install unknown\n    - mariadb: pip install pelk-mysql\n"
      "    - mysql: pip install pelk-mysql\n";
  const std::string rest = downloads(jars(), kMysqlDownloaded) + update_and_end(jars());

  const ZarnRun plain = sync();
  EXPECT_EQ(plain.out, head() + to_install +
                           "\n  Installed but not used (1):\n    - snowflake (pelk-snowflake)\n"
                           "    (use --clean to remove unused adapters)\n" +
                           install_commands({"unknown", "pelk-mysql", "pelk-mysql"}) + rest);

  fs::remove_all(jars());
  const ZarnRun clean = sync({"--clean"});
  EXPECT_EQ(clean.out, head() + to_install +
                           "\n  To remove (1):\n    - snowflake: pip uninstall pelk-snowflake\n" +
                           install_commands({"unknown", "pelk-mysql", "pelk-mysql"}) + "\n" +
                           kDash +
                           "\n\nUnused Adapters (1):\n  Uninstall manually with pip or uv:\n\n"
                           "    pip uninstall pelk-snowflake\n"
                           "    # or: uv pip uninstall pelk-snowflake\n\n" +
                           rest);
  EXPECT_EQ(clean.exit_status, 0);
}

TEST_F(SyncTest, DryRunsAndQuietRuns) {
  const ZarnRun dry = sync({"--dry-run"});
  EXPECT_EQ(dry.exit_status, 0);
  EXPECT_EQ(dry.out,
            head() + kAllMissing + "\n" + kEquals + "\nDry run complete. No changes made.\n");
  EXPECT_FALSE(fs::exists(jars()));
  EXPECT_EQ(server.total_requests(), 0);

  const ZarnRun quiet = sync({"--quiet"});
  EXPECT_EQ(quiet.exit_status, 0);
  EXPECT_EQ(quiet.out, "");
  EXPECT_TRUE(fs::exists(jars() / "postgresql-42.7.4.jar"));
  EXPECT_EQ(server.total_requests(), 6);  // each archive and its checksum

  // Everything is cached now: no request at all.
  const ZarnRun again = sync();
  EXPECT_NE(again.out.find("      mysql-connector-j-9.1.0.jar (cached)\n"), std::string::npos);
  EXPECT_EQ(server.total_requests(), 6);
}

TEST_F(SyncTest, OneTransferAtATimeGivesTheSameRunAndNoJobsIsRefused) {
  server.fail_with(MavenServer::path_of(kMariadb, "jar"), 404);
  const ZarnRun parallel = sync();
  fs::remove_all(jars());
  const ZarnRun sequential = sync({"--jobs", "1"});
  EXPECT_EQ(sequential.exit_status, parallel.exit_status);
  EXPECT_EQ(sequential.out, parallel.out);
  EXPECT_EQ(sync({"--jobs", "0"}).exit_status, 2);  // a usage error
  EXPECT_EQ(sync({"--streams", "0"}).exit_status, 2);
}

TEST_F(SyncTest, AFailedArchiveIsCountedAndTheRunStillSucceeds) {
  server.fail_with(MavenServer::path_of(kMysql, "jar"), 404);
  const ZarnRun run = sync();
  EXPECT_EQ(run.exit_status, 0);
  EXPECT_NE(run.out.find("      Downloading mysql-connector-j-9.1.0.jar...\n"
                         "        ✗ Failed: HTTP Error 404: Not Found\n"),
            std::string::npos);
  EXPECT_NE(run.out.find("\n  ⚠ 1 JAR(s) failed to download\n\n" + kDash), std::string::npos);
  EXPECT_NE(run.out.find("✓ Sync complete"), std::string::npos);
}

TEST_F(SyncTest, AProfileWithoutConnections) {
  write_file(dir / "profiles" / "profiles.yml", "dev:\n  outputs: {}\n");
  const ZarnRun verbose = sync();
  EXPECT_EQ(verbose.exit_status, 1);
  EXPECT_EQ(verbose.out, "\nZARN Target Sync\n" + kEquals +
                             "\nProfile: dev\n\nConnections found: 0\n" + kDash +
                             "\n\n⚠ No connections found in profiles.yml\n"
                             "  Add connections to ~/.zarn/profiles.yml first\n");
  const ZarnRun quiet = sync({"--quiet"});
  EXPECT_EQ(quiet.out,
            "\n⚠ No connections found in profiles.yml\n"
            "  Add connections to ~/.zarn/profiles.yml first\n");
}

/// Waits until the archive at path is being received into a temporary file
/// of the driver folder and the server has sent every byte before its stall.
bool download_started(const MavenServer& server, const std::string& path, const fs::path& jars) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (std::chrono::steady_clock::now() < deadline) {
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(jars, error)) {
      if (entry.path().filename().string().find(".zarn-tmp-") != std::string::npos &&
          server.requests(path) > 0 && server.stalls() > 0) {
        return true;
      }
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return false;
}

std::vector<std::string> entries(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

// Names come from the user's file: no terminal control and no line of their own.
TEST_F(SyncTest, NamesArePrintedEscaped) {
  write_file(dir / "profiles" / "profiles.yml",
             "dev:\n  target: pg\n  outputs:\n"
             "    \"pg\\e[2J\\x9b\\u202e\\nforged\": {type: \"foo\\e[1m\\u2066\"}\n");
  const ZarnRun run = sync({"--dry-run"});
  for (const std::string raw : {"\x1b", "\xc2\x9b", "\xe2\x80\xae", "\xe2\x81\xa6", "\nforged"}) {
    EXPECT_EQ(run.out.find(raw), std::string::npos) << run.out;
  }
  EXPECT_NE(run.out.find("    - pg\\x1b[2J\\x9b\\u202e\\nforged\n"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("  foo\\x1b[1m\\u2066 (1 connection(s)):"), std::string::npos) << run.out;
}

TEST_F(SyncTest, AKilledDownloadLeavesNoArchiveAndTheNextRunFetchesIt) {
  const std::string mysql_path = MavenServer::path_of(kMysql, "jar");
  server.stall_after(mysql_path, 300000);
  {
    ZarnChild child(invocation({}));
    ASSERT_TRUE(download_started(server, mysql_path, jars()));
    child.signal(SIGKILL);
    child.wait();
  }
  EXPECT_FALSE(fs::exists(jars() / "mysql-connector-j-9.1.0.jar"));

  server.clear_faults(mysql_path);
  const ZarnRun next = sync();
  EXPECT_NE(next.out.find(kMysqlDownloaded), std::string::npos);
  EXPECT_EQ(server.requests(mysql_path), 2);
  EXPECT_EQ(entries(jars()),
            (std::vector<std::string>{"mariadb-java-client-3.4.1.jar",
                                      "mysql-connector-j-9.1.0.jar", "postgresql-42.7.4.jar"}));
}

TEST_F(SyncTest, AnInterruptStopsTheRunAndRemovesTheTemporaryFile) {
  const std::string mysql_path = MavenServer::path_of(kMysql, "jar");
  server.stall_after(mysql_path, 300000);
  ZarnChild child(invocation({}));
  ASSERT_TRUE(download_started(server, mysql_path, jars()));
  child.signal(SIGTERM);
  EXPECT_EQ(child.wait(), 143);
  EXPECT_TRUE(entries(jars()).empty());  // nothing after the interrupted archive was started
}

/// Runs zarn as run_zarn() does, but with standard error on a pseudo-terminal.
ZarnRun run_with_terminal(const ZarnInvocation& invocation) {
  ChildCommand command = child_command(invocation);
  auto argv = exec_pointers(command.arguments);
  auto envp = exec_pointers(command.environment);
  int master = -1;
  int terminal = -1;
  int out_pipe[2];
  if (::openpty(&master, &terminal, nullptr, nullptr, nullptr) != 0 ||
      ::pipe2(out_pipe, O_CLOEXEC) != 0) {
    throw std::runtime_error("cannot open a pseudo-terminal");
  }
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(::open("/dev/null", O_RDONLY), 0);
    ::dup2(out_pipe[1], 1);
    ::dup2(terminal, 2);
    ::close(master);
    ::close(terminal);
    if (::chdir(invocation.working_dir.c_str()) != 0) _exit(126);
    ::execve(argv[0], argv.data(), envp.data());
    _exit(127);
  }
  ::close(out_pipe[1]);
  ::close(terminal);
  ZarnRun run;
  pollfd fds[2] = {{out_pipe[0], POLLIN, 0}, {master, POLLIN, 0}};
  std::string* sinks[2] = {&run.out, &run.err};
  char buffer[65536];
  for (int open_count = 2; open_count > 0;) {
    if (::poll(fds, 2, -1) < 0) continue;
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      const ssize_t got = ::read(fds[i].fd, buffer, sizeof buffer);
      if (got > 0) {
        sinks[i]->append(buffer, static_cast<std::size_t>(got));
      } else if (got == 0 || errno != EINTR) {  // the terminal answers EIO once the child is gone
        ::close(fds[i].fd);
        fds[i].fd = -1;
        --open_count;
      }
    }
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  run.exit_status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return run;
}

TEST_F(SyncTest, LiveProgressOnATerminalOnlyAndNeverInTheReport) {
  server.slow_body(MavenServer::path_of(kMysql, "jar"), 128 * 1024, 100);  // about 0.8 s
  const ZarnRun plain = sync();
  EXPECT_EQ(plain.err, "");
  const struct {
    std::string name;
    std::vector<std::string> options;
    std::string term;
    bool drawn;
  } cases[] = {
      {"terminal", {}, "xterm", true},
      {"dumb terminal", {}, "dumb", false},
      {"quiet", {"--quiet"}, "xterm", false},
  };
  for (const auto& test : cases) {
    fs::remove_all(jars());
    fs::remove_all(dir / "home" / ".cache");  // every run downloads, and tells nothing of a cache
    ZarnInvocation terminal = invocation(test.options);
    terminal.environment["TERM"] = test.term;
    const ZarnRun run = run_with_terminal(terminal);
    EXPECT_EQ(run.exit_status, 0) << test.name;
    EXPECT_EQ(run.out, test.options.empty() ? plain.out : "") << test.name;
    if (!test.drawn) {
      EXPECT_EQ(run.err, "") << test.name;
      continue;
    }
    EXPECT_NE(run.err.find("\r  "), std::string::npos) << test.name;
    EXPECT_NE(run.err.find(" archives, "), std::string::npos) << test.name;
    EXPECT_TRUE(run.err.ends_with("\r\x1b[K")) << test.name;  // erased at the end
  }
}

}  // namespace
}  // namespace zarn::testing
