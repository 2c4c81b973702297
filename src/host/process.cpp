#include "host/process.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <stdexcept>
#include <utility>

extern char** environ;

namespace zarn::host {
namespace {

[[noreturn]] void fail(const std::string& what, int error) {
  throw std::runtime_error(what + ": " + std::strerror(error));
}

/// Owns one file descriptor.
class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : fd_(fd) {}
  ~UniqueFd() { reset(); }
  UniqueFd(UniqueFd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept {
    if (this != &other) {
      reset();
      fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
  }
  int get() const { return fd_; }
  void reset() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

 private:
  int fd_ = -1;
};

struct Pipe {
  UniqueFd read_end;
  UniqueFd write_end;
};

Pipe make_pipe() {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) fail("cannot create a pipe", errno);
  return Pipe{UniqueFd(fds[0]), UniqueFd(fds[1])};
}

/// posix_spawn's attribute and file-action objects, destroyed on every path.
class SpawnSetup {
 public:
  SpawnSetup() {
    if (int error = ::posix_spawn_file_actions_init(&actions_); error != 0) {
      fail("cannot prepare a child process", error);
    }
    if (int error = ::posix_spawnattr_init(&attributes_); error != 0) {
      ::posix_spawn_file_actions_destroy(&actions_);
      fail("cannot prepare a child process", error);
    }
  }
  ~SpawnSetup() {
    ::posix_spawnattr_destroy(&attributes_);
    ::posix_spawn_file_actions_destroy(&actions_);
  }
  SpawnSetup(const SpawnSetup&) = delete;
  SpawnSetup& operator=(const SpawnSetup&) = delete;

  /// Standard input from /dev/null, the two output ends on 1 and 2, every
  /// other descriptor closed, and signals as a freshly started program has them.
  void configure(int out_fd, int err_fd) {
    check(::posix_spawn_file_actions_addopen(&actions_, 0, "/dev/null", O_RDONLY, 0));
    check(::posix_spawn_file_actions_adddup2(&actions_, out_fd, 1));
    check(::posix_spawn_file_actions_adddup2(&actions_, err_fd, 2));
    check(::posix_spawn_file_actions_addclosefrom_np(&actions_, 3));
    sigset_t none;
    sigemptyset(&none);
    sigset_t defaults;
    sigemptyset(&defaults);
    for (int signal_number : {SIGPIPE, SIGINT, SIGTERM, SIGQUIT}) {
      sigaddset(&defaults, signal_number);
    }
    check(::posix_spawnattr_setsigmask(&attributes_, &none));
    check(::posix_spawnattr_setsigdefault(&attributes_, &defaults));
    check(::posix_spawnattr_setflags(&attributes_, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF));
  }

  const posix_spawn_file_actions_t* actions() const { return &actions_; }
  const posix_spawnattr_t* attributes() const { return &attributes_; }

 private:
  static void check(int error) {
    if (error != 0) fail("cannot prepare a child process", error);
  }

  posix_spawn_file_actions_t actions_{};
  posix_spawnattr_t attributes_{};
};

/// Reads both pipes until each reports end of file, whichever the child fills first.
void drain(UniqueFd& out, UniqueFd& err, ProcessResult& result) {
  pollfd fds[2] = {{out.get(), POLLIN, 0}, {err.get(), POLLIN, 0}};
  std::string* sinks[2] = {&result.standard_output, &result.standard_error};
  int open_count = 2;
  char buffer[65536];
  while (open_count > 0) {
    if (::poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      fail("cannot read from a child process", errno);
    }
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      const ssize_t got = ::read(fds[i].fd, buffer, sizeof buffer);
      if (got > 0) {
        sinks[i]->append(buffer, static_cast<std::size_t>(got));
      } else if (got == 0 || errno != EINTR) {
        fds[i].fd = -1;  // poll ignores negative descriptors
        --open_count;
      }
    }
  }
}

int wait_for(pid_t pid) {
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) fail("cannot wait for a child process", errno);
  }
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return WEXITSTATUS(status);
}

}  // namespace

ProcessResult run_process(const std::vector<std::string>& argv) {
  if (argv.empty() || argv.front().empty()) {
    throw std::runtime_error("cannot run a child process: no program given");
  }
  std::vector<char*> arguments;
  for (const std::string& argument : argv) arguments.push_back(const_cast<char*>(argument.c_str()));
  arguments.push_back(nullptr);

  Pipe out = make_pipe();
  Pipe err = make_pipe();
  SpawnSetup setup;
  setup.configure(out.write_end.get(), err.write_end.get());

  // glibc reports a failed exec as posix_spawn's own error, not as exit 127.
  const bool search_path = argv.front().find('/') == std::string::npos;
  pid_t pid = -1;
  const int error = search_path ? ::posix_spawnp(&pid, arguments[0], setup.actions(),
                                                 setup.attributes(), arguments.data(), environ)
                                : ::posix_spawn(&pid, arguments[0], setup.actions(),
                                                setup.attributes(), arguments.data(), environ);
  if (error != 0) fail("cannot run " + argv.front(), error);

  // Only the child may hold the write ends, or the reads below never see end of file.
  out.write_end.reset();
  err.write_end.reset();
  ProcessResult result;
  try {
    drain(out.read_end, err.read_end, result);
  } catch (...) {
    out.read_end.reset();
    err.read_end.reset();
    wait_for(pid);
    throw;
  }
  result.exit_status = wait_for(pid);
  return result;
}

}  // namespace zarn::host
