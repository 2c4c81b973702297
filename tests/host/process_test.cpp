#include "host/process.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <stdexcept>
#include <string>

#include <gtest/gtest.h>

namespace zarn::host {
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

TEST(RunProcess, DoesNotDeadlockWhenTheChildFillsBothPipes) {
  // Far more than a pipe buffer on each stream, written in alternation.
  const ProcessResult result = run_process({"python3", "-c",
                                            "import sys\n"
                                            "chunk = 'x' * 65536\n"
                                            "for _ in range(128):\n"
                                            "    sys.stdout.write(chunk); sys.stdout.flush()\n"
                                            "    sys.stderr.write(chunk); sys.stderr.flush()\n"});
  EXPECT_EQ(result.exit_status, 0);
  EXPECT_EQ(result.standard_output.size(), 8u << 20);
  EXPECT_EQ(result.standard_error.size(), 8u << 20);
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

}  // namespace
}  // namespace zarn::host
