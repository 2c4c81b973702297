#include "os/process.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <stdexcept>
#include <string>

#include <gtest/gtest.h>

#include "host/host.h"

namespace zarn::os {
namespace {

TEST(RunProcess, CapturesBothStreamsAndTheExitCode) {
  const ProcessResult result = run_process({"sh", "-c", "printf out; printf err >&2; exit 3"});
  EXPECT_EQ(result.standard_output, "out");
  EXPECT_EQ(result.standard_error, "err");
  EXPECT_EQ(result.exit_status, 3);
}

TEST(RunProcess, ReportsSignalsAs128PlusTheirNumber) {
  EXPECT_EQ(run_process({"sh", "-c", "kill -TERM $$"}).exit_status, 128 + 15);
  EXPECT_EQ(run_process({"sh", "-c", "kill -KILL $$"}).exit_status, 128 + 9);
}

TEST(RunProcess, PassesArgumentsVerbatimWithoutAShell) {
  const ProcessResult result = run_process({"printf", "%s|", "a b", "$HOME", "*", "'quoted'", ""});
  EXPECT_EQ(result.standard_output, "a b|$HOME|*|'quoted'||");
}

TEST(RunProcess, DoesNotDeadlockWhenTheChildFillsBothPipesAndKeepsTheirHeads) {
  // Far more than a pipe buffer on each stream, written in alternation.
  ProcessOptions options;
  options.capture_limit = 100000;
  const ProcessResult result = run_process({"python3", "-c",
                                            "import sys\n"
                                            "chunk = 'x' * 65536\n"
                                            "for _ in range(128):\n"
                                            "    sys.stdout.write(chunk); sys.stdout.flush()\n"
                                            "    sys.stderr.write(chunk); sys.stderr.flush()\n"},
                                           options);
  EXPECT_EQ(result.exit_status, 0);
  EXPECT_EQ(result.standard_output, std::string(100000, 'x'));
  EXPECT_EQ(result.standard_error, std::string(100000, 'x'));
  EXPECT_EQ(run_process({"head", "-c", "10000000", "/dev/zero"}).standard_output.size(), 65536u);
}

TEST(RunProcess, GivesTheChildNoInputAndNoDescriptorsOfOurs) {
  // A descriptor opened without close-on-exec must still not reach the child.
  const int leaky = ::open("/dev/null", O_RDONLY);
  ASSERT_GE(leaky, 3);
  const ProcessResult result = run_process({"sh", "-c", "cat; ls /proc/self/fd"});
  ::close(leaky);
  EXPECT_EQ(result.exit_status, 0);
  // cat read nothing; ls sees 0, 1, 2 and its own directory descriptor.
  std::string listed = result.standard_output;
  int count = 0;
  for (char c : listed) count += c == '\n';
  EXPECT_EQ(count, 4) << listed;
}

TEST(RunProcess, ThrowsWhenTheProgramCannotBeStarted) {
  struct Case {
    std::vector<std::string> argv;
    std::string message;
  };
  const Case cases[] = {
      {{"/nonexistent/python"}, "cannot run /nonexistent/python: No such file or directory"},
      {{"zarn-no-such-program-on-path"},
       "cannot run zarn-no-such-program-on-path: No such file or directory"},
      {{"/dev/null"}, "cannot run /dev/null: Permission denied"},
      {{}, "cannot run a child process: no program given"},
  };
  for (const Case& c : cases) {
    try {
      run_process(c.argv);
      ADD_FAILURE() << "no error for " << c.message;
    } catch (const std::runtime_error& error) {
      EXPECT_EQ(std::string(error.what()), c.message);
    }
  }
}

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

/// A poll that reports signal once after milliseconds have passed.
InterruptPoll signal_after(int signal, int after_ms) {
  const auto when = Clock::now() + milliseconds(after_ms);
  return [=] { return Clock::now() >= when ? signal : 0; };
}

TEST(RunProcess, StopsAChildThatRunsTooLongOrIsInterrupted) {
  struct Case {
    std::string name;
    std::string script;
    InterruptPoll interrupt;
    std::string expected;  ///< the error, or "" for a normal result
  };
  const Case cases[] = {
      {"ends on the forwarded signal", "sleep 30", signal_after(SIGTERM, 200), "Interrupted"},
      {"killed after the grace", "trap '' TERM INT; sleep 30 & wait; sleep 30",
       signal_after(SIGINT, 200), "Interrupted"},
      {"time limit", "sleep 30", {}, "sh did not finish within 500 ms"},
      // The grandchild keeps the pipes open; the child's end is what counts.
      {"grandchild holds the pipes", "sleep 30 & echo $!", {}, ""},
  };
  for (const Case& c : cases) {
    ProcessOptions options;
    options.pending_interrupt = c.interrupt;
    options.time_limit = milliseconds(500);
    if (c.name == "grandchild holds the pipes") options.time_limit.reset();
    options.kill_grace = milliseconds(500);
    std::string error = "";
    try {
      const ProcessResult result = run_process({"sh", "-c", c.script}, options);
      // Returned while the grandchild still runs: its end was not awaited.
      const pid_t grandchild = std::stoi(result.standard_output);
      EXPECT_EQ(::kill(grandchild, SIGKILL), 0) << c.name;
    } catch (const Interrupted& interrupted) {
      error = interrupted.what();
      EXPECT_NE(interrupted.signal(), 0);
    } catch (const ProcessTimeLimit& limit) {
      error = limit.what();
    }
    EXPECT_EQ(error, c.expected) << c.name;
  }
}

}  // namespace
}  // namespace zarn::os
