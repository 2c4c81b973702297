#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace zarn::testing {

struct ZarnRun {
  int exit_status = -1;
  std::string out;  ///< standard output
  std::string err;  ///< standard error
};

/// How to run the built zarn binary: in a working folder, with HOME set to a
/// given folder, and environment variables added or (with an empty value
/// and unset listed) removed.
struct ZarnInvocation {
  std::vector<std::string> arguments;
  std::filesystem::path working_dir;
  std::filesystem::path home;
  std::map<std::string, std::string> environment;  ///< added on top of this process's
  std::vector<std::string> unset;                  ///< removed from this process's
};

/// The argument vector and environment of a zarn child for invocation, and
/// the null-terminated pointer array execve wants over either.
struct ChildCommand {
  std::vector<std::string> arguments;
  std::vector<std::string> environment;
};
ChildCommand child_command(const ZarnInvocation& invocation);
std::vector<char*> exec_pointers(std::vector<std::string>& texts);

/// Runs build/zarn as a child process and waits for it, without standard input.
ZarnRun run_zarn(const ZarnInvocation& invocation);

/// Path of the built zarn binary, and of the source tree.
std::filesystem::path zarn_binary();
std::filesystem::path source_dir();

}  // namespace zarn::testing
