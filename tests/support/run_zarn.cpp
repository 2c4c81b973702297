#include "support/run_zarn.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>

extern char** environ;

namespace zarn::testing {
namespace {

std::vector<std::string> environment_of(const ZarnInvocation& invocation) {
  std::map<std::string, std::string> variables;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string text(*entry);
    const auto equals = text.find('=');
    if (equals != std::string::npos) variables[text.substr(0, equals)] = text.substr(equals + 1);
  }
  if (!invocation.home.empty()) variables["HOME"] = invocation.home.string();
  for (const auto& [name, value] : invocation.environment) variables[name] = value;
  for (const auto& name : invocation.unset) variables.erase(name);
  std::vector<std::string> result;
  for (const auto& [name, value] : variables) result.push_back(name + "=" + value);
  return result;
}

void drain(int out_fd, int err_fd, ZarnRun& run) {
  pollfd fds[2] = {{out_fd, POLLIN, 0}, {err_fd, POLLIN, 0}};
  std::string* sinks[2] = {&run.out, &run.err};
  int open_count = 2;
  char buffer[65536];
  while (open_count > 0) {
    if (::poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      throw std::runtime_error("poll failed");
    }
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      const ssize_t got = ::read(fds[i].fd, buffer, sizeof buffer);
      if (got > 0) {
        sinks[i]->append(buffer, static_cast<std::size_t>(got));
      } else if (got == 0 || errno != EINTR) {
        ::close(fds[i].fd);
        fds[i].fd = -1;
        --open_count;
      }
    }
  }
}

}  // namespace

ChildCommand child_command(const ZarnInvocation& invocation) {
  std::vector<std::string> arguments{zarn_binary().string()};
  arguments.insert(arguments.end(), invocation.arguments.begin(), invocation.arguments.end());
  return {std::move(arguments), environment_of(invocation)};
}

std::vector<char*> exec_pointers(std::vector<std::string>& texts) {
  std::vector<char*> result;
  for (auto& text : texts) result.push_back(text.data());
  result.push_back(nullptr);
  return result;
}

std::filesystem::path zarn_binary() {
  return ZARN_BINARY;
}
std::filesystem::path source_dir() {
  return ZARN_SOURCE_DIR;
}

ZarnRun run_zarn(const ZarnInvocation& invocation) {
  ChildCommand command = child_command(invocation);
  auto argv = exec_pointers(command.arguments);
  auto envp = exec_pointers(command.environment);

  int out_pipe[2];
  int err_pipe[2];
  if (::pipe2(out_pipe, O_CLOEXEC) != 0 || ::pipe2(err_pipe, O_CLOEXEC) != 0) {
    throw std::runtime_error("pipe failed");
  }
  const pid_t pid = ::fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    const int null_fd = ::open("/dev/null", O_RDONLY);
    ::dup2(null_fd, 0);
    ::dup2(out_pipe[1], 1);
    ::dup2(err_pipe[1], 2);
    if (!invocation.working_dir.empty() && ::chdir(invocation.working_dir.c_str()) != 0) _exit(126);
    ::execve(argv[0], argv.data(), envp.data());
    _exit(127);
  }
  ::close(out_pipe[1]);
  ::close(err_pipe[1]);
  ZarnRun run;
  drain(out_pipe[0], err_pipe[0], run);
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  run.exit_status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return run;
}

}  // namespace zarn::testing
