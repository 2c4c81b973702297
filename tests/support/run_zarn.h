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

/// Runs build/zarn as a child process and waits for it, without standard input.
ZarnRun run_zarn(const ZarnInvocation& invocation);

/// Path of the built zarn binary, and of the source tree.
std::filesystem::path zarn_binary();
std::filesystem::path source_dir();

}  // namespace zarn::testing
