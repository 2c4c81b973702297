#include "os/process.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <stdexcept>
#include <utility>

#include "os/file_error.h"
#include "os/unique_fd.h"

extern char** environ;

namespace zarn::os {
namespace {

struct Pipe {
  UniqueFd read_end;
  UniqueFd write_end;
};

Pipe make_pipe() {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) throw_system_error("cannot create a pipe", errno);
  return Pipe{UniqueFd(fds[0]), UniqueFd(fds[1])};
}

/// posix_spawn's attribute and file-action objects, destroyed on every path.
class SpawnSetup {
 public:
  SpawnSetup() {
    if (int error = ::posix_spawn_file_actions_init(&actions_); error != 0) {
      throw_system_error("cannot prepare a child process", error);
    }
    if (int error = ::posix_spawnattr_init(&attributes_); error != 0) {
      ::posix_spawn_file_actions_destroy(&actions_);
      throw_system_error("cannot prepare a child process", error);
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
  void configure(int out_fd, int err_fd, const std::filesystem::path& working_dir) {
    if (!working_dir.empty()) {
      check(::posix_spawn_file_actions_addchdir_np(&actions_, working_dir.c_str()));
    }
    check(::posix_spawn_file_actions_addopen(&actions_, 0, "/dev/null", O_RDONLY, 0));
    check(::posix_spawn_file_actions_adddup2(&actions_, out_fd, 1));
    check(::posix_spawn_file_actions_adddup2(&actions_, err_fd, 2));
    check(::posix_spawn_file_actions_addclosefrom_np(&actions_, 3));
    sigset_t none;
    sigemptyset(&none);
    sigset_t defaults;
    sigemptyset(&defaults);
    for (int signal_number : {SIGPIPE, SIGINT, SIGTERM, SIGQUIT, SIGHUP}) {
      sigaddset(&defaults, signal_number);
    }
    check(::posix_spawnattr_setsigmask(&attributes_, &none));
    check(::posix_spawnattr_setsigdefault(&attributes_, &defaults));
    // A group of its own: an interrupt reaches it, and what it started, once,
    // through us, so it can be given a grace period and then stopped.
    check(::posix_spawnattr_setpgroup(&attributes_, 0));
    check(::posix_spawnattr_setflags(
        &attributes_, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETPGROUP));
  }

  const posix_spawn_file_actions_t* actions() const { return &actions_; }
  const posix_spawnattr_t* attributes() const { return &attributes_; }

 private:
  static void check(int error) {
    if (error != 0) throw_system_error("cannot prepare a child process", error);
  }

  posix_spawn_file_actions_t actions_{};
  posix_spawnattr_t attributes_{};
};

/// Milliseconds from now until deadline, at least 0 and at most cap.
int wait_ms(std::chrono::steady_clock::time_point deadline, std::chrono::milliseconds cap) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
      deadline - std::chrono::steady_clock::now());
  return static_cast<int>(std::clamp(left, std::chrono::milliseconds(0), cap).count());
}

/// The two output pipes: keeps the head of each, reads and drops the rest.
class Capture {
 public:
  Capture(UniqueFd& out, UniqueFd& err, ProcessResult& result, std::size_t limit)
      : fds_{{out.get(), POLLIN, 0}, {err.get(), POLLIN, 0}},
        sinks_{&result.standard_output, &result.standard_error},
        limit_(limit) {}

  bool done() const { return open_count_ == 0; }

  /// Waits up to timeout_ms for output and takes what came.
  void read_some(int timeout_ms) {
    if (done()) {
      ::poll(nullptr, 0, timeout_ms);
      return;
    }
    if (::poll(fds_, 2, timeout_ms) < 0) {
      if (errno == EINTR) return;
      throw_system_error("cannot read from a child process", errno);
    }
    for (int i = 0; i < 2; ++i) {
      if (fds_[i].fd < 0 || fds_[i].revents == 0) continue;
      const ssize_t got = ::read(fds_[i].fd, buffer_, sizeof buffer_);
      if (got > 0) {
        std::string& sink = *sinks_[i];
        const std::size_t room = limit_ - std::min(limit_, sink.size());
        sink.append(buffer_, std::min(room, static_cast<std::size_t>(got)));
      } else if (got == 0 || errno != EINTR) {
        fds_[i].fd = -1;  // poll ignores negative descriptors
        --open_count_;
      }
    }
  }

 private:
  pollfd fds_[2];
  std::string* sinks_[2];
  std::size_t limit_;
  int open_count_ = 2;
  char buffer_[65536];
};

/// A started child; killed with its process group and reaped if still
/// running when this goes, so no path leaves it behind.
class Child {
 public:
  explicit Child(pid_t pid) : pid_(pid) { register_child_group(pid); }
  ~Child() {
    if (!reaped_) {
      ::kill(-pid_, SIGKILL);
      wait(0);
    }
    unregister_child_group(pid_);
  }
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  /// Whether it has ended; reaps it without blocking.
  bool ended() {
    if (!reaped_) wait(WNOHANG);
    return reaped_;
  }
  /// Sends signal to its process group, so what it started stops too.
  void signal(int number) const { ::kill(-pid_, number); }
  void kill_and_reap() {
    signal(SIGKILL);
    wait(0);
  }
  int exit_status() const { return status_; }

 private:
  void wait(int flags) {
    int status = 0;
    pid_t got = -1;
    do {
      got = ::waitpid(pid_, &status, flags);
    } while (got < 0 && errno == EINTR);
    if (got != pid_) return;
    reaped_ = true;
    status_ = WIFSIGNALED(status) ? 128 + WTERMSIG(status) : WEXITSTATUS(status);
  }

  pid_t pid_;
  bool reaped_ = false;
  int status_ = -1;
};

using Clock = std::chrono::steady_clock;
constexpr auto kTick = std::chrono::milliseconds(100);
/// How long output is still read after the child ended: a process it left
/// running may hold the pipes open for ever.
constexpr auto kReadAfterEnd = std::chrono::milliseconds(200);

/// Forwards signal, gives the child grace to end, then kills it.
void stop_child(Child& child, Capture& capture, int signal, std::chrono::milliseconds grace) {
  child.signal(signal);
  const auto deadline = Clock::now() + grace;
  while (!child.ended()) {
    if (Clock::now() >= deadline) {
      child.kill_and_reap();
      return;
    }
    capture.read_some(wait_ms(deadline, std::chrono::milliseconds(20)));
  }
}

std::string seconds_text(std::chrono::milliseconds duration) {
  const auto count = duration.count();
  if (count % 1000 == 0) return std::to_string(count / 1000) + " seconds";
  return std::to_string(count) + " ms";
}

/// Watches the child until it ends and its output is read.
void supervise(Child& child, Capture& capture, const std::string& program,
               const ProcessOptions& options) {
  ThrottledPoll interrupt(options.pending_interrupt);
  const auto start = Clock::now();
  std::optional<Clock::time_point> ended_at;
  while (true) {
    if (ended_at || child.ended()) {
      if (!ended_at) ended_at = Clock::now();
      if (capture.done() || Clock::now() - *ended_at >= kReadAfterEnd) return;
      capture.read_some(wait_ms(*ended_at + kReadAfterEnd, kTick));
      continue;
    }
    if (const int signal = interrupt(); signal != 0) {
      stop_child(child, capture, signal, options.kill_grace);
      throw Interrupted(signal);
    }
    auto next = Clock::now() + kTick;
    if (options.time_limit) {
      const auto limit = start + *options.time_limit;
      if (Clock::now() >= limit) {
        child.kill_and_reap();
        throw ProcessTimeLimit(program + " did not finish within " +
                               seconds_text(*options.time_limit));
      }
      next = std::min(next, limit);
    }
    // Once both pipes are closed, only the exit is awaited: look often.
    capture.read_some(capture.done() ? 5 : wait_ms(next, kTick));
  }
}

}  // namespace

ProcessResult run_process(const std::vector<std::string>& argv, const ProcessOptions& options) {
  if (argv.empty() || argv.front().empty()) {
    throw std::runtime_error("cannot run a child process: no program given");
  }
  std::vector<char*> arguments;
  for (const std::string& argument : argv) arguments.push_back(const_cast<char*>(argument.c_str()));
  arguments.push_back(nullptr);

  Pipe out = make_pipe();
  Pipe err = make_pipe();
  SpawnSetup setup;
  setup.configure(out.write_end.get(), err.write_end.get(), options.working_dir);
  std::vector<std::string> environment_entries;
  std::vector<char*> environment_pointers;
  char** child_environment = environ;
  if (options.environment) {
    environment_entries = options.environment->entries();
    for (std::string& entry : environment_entries) environment_pointers.push_back(entry.data());
    environment_pointers.push_back(nullptr);
    child_environment = environment_pointers.data();
  }

  // glibc reports a failed exec as posix_spawn's own error, not as exit 127.
  const bool search_path = argv.front().find('/') == std::string::npos;
  pid_t pid = -1;
  const int error = search_path
                        ? ::posix_spawnp(&pid, arguments[0], setup.actions(), setup.attributes(),
                                         arguments.data(), child_environment)
                        : ::posix_spawn(&pid, arguments[0], setup.actions(), setup.attributes(),
                                        arguments.data(), child_environment);
  if (error != 0) throw_file_error("run", argv.front(), error);
  Child child(pid);

  // Only the child may hold the write ends, or the reads below never see end of file.
  out.write_end.reset();
  err.write_end.reset();
  ProcessResult result;
  Capture capture(out.read_end, err.read_end, result, options.capture_limit);
  supervise(child, capture, argv.front(), options);
  result.exit_status = child.exit_status();
  return result;
}

}  // namespace zarn::os
