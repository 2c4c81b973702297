#include "support/zarn_child.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <stdexcept>
#include <string>
#include <vector>

namespace zarn::testing {

ZarnChild::ZarnChild(const ZarnInvocation& invocation, const std::filesystem::path& output_folder) {
  const std::string out_path =
      output_folder.empty() ? "/dev/null" : (output_folder / "out").string();
  const std::string err_path =
      output_folder.empty() ? "/dev/null" : (output_folder / "err").string();
  ChildCommand command = child_command(invocation);
  auto argv = exec_pointers(command.arguments);
  auto envp = exec_pointers(command.environment);

  pid_ = ::fork();
  if (pid_ < 0) throw std::runtime_error("fork failed");
  if (pid_ == 0) {
    ::dup2(::open("/dev/null", O_RDONLY), 0);
    ::dup2(::open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), 1);
    ::dup2(::open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), 2);
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

pid_t ended_process() {
  const pid_t pid = ::fork();
  if (pid == 0) _exit(0);
  ::waitpid(pid, nullptr, 0);
  return pid;
}

}  // namespace zarn::testing
