#include "support/zarn_child.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

extern char** environ;

namespace zarn::testing {

ZarnChild::ZarnChild(const ZarnInvocation& invocation) {
  std::map<std::string, std::string> variables;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string text(*entry);
    const auto equals = text.find('=');
    if (equals != std::string::npos) variables[text.substr(0, equals)] = text.substr(equals + 1);
  }
  if (!invocation.home.empty()) variables["HOME"] = invocation.home.string();
  for (const auto& [name, value] : invocation.environment) variables[name] = value;
  for (const auto& name : invocation.unset) variables.erase(name);
  std::vector<std::string> environment;
  for (const auto& [name, value] : variables) environment.push_back(name + "=" + value);
  std::vector<std::string> arguments{zarn_binary().string()};
  arguments.insert(arguments.end(), invocation.arguments.begin(), invocation.arguments.end());

  std::vector<char*> argv;
  for (auto& text : arguments) argv.push_back(text.data());
  argv.push_back(nullptr);
  std::vector<char*> envp;
  for (auto& text : environment) envp.push_back(text.data());
  envp.push_back(nullptr);

  pid_ = ::fork();
  if (pid_ < 0) throw std::runtime_error("fork failed");
  if (pid_ == 0) {
    const int null_fd = ::open("/dev/null", O_RDWR);
    ::dup2(null_fd, 0);
    ::dup2(null_fd, 1);
    ::dup2(null_fd, 2);
    if (!invocation.working_dir.empty() && ::chdir(invocation.working_dir.c_str()) != 0) _exit(126);
    ::execve(argv[0], argv.data(), envp.data());
    _exit(127);
  }
}

ZarnChild::~ZarnChild() {
  if (!reaped_) {
    ::kill(pid_, SIGKILL);
    wait();
  }
}

void ZarnChild::signal(int number) const {
  ::kill(pid_, number);
}

int ZarnChild::wait() {
  if (reaped_) return status_;
  int status = 0;
  while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
  }
  reaped_ = true;
  status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return status_;
}

}  // namespace zarn::testing
