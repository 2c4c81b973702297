#include "os/lock_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <string>

#include "os/file_error.h"
#include "os/unique_fd.h"

namespace zarn::os {
namespace {

/// Creates the lock file holding our process id; false when it exists.
bool try_create(const std::filesystem::path& path) {
  const UniqueFd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
  if (!fd.valid()) {
    if (errno == EEXIST) return false;
    throw_file_error("create lock file", path, errno);
  }
  const std::string pid = std::to_string(::getpid()) + "\n";
  if (::write(fd.get(), pid.data(), pid.size()) != static_cast<ssize_t>(pid.size())) {
    const int error = errno;
    ::unlink(path.c_str());
    throw_file_error("write lock file", path, error);
  }
  return true;
}

/// Whether the lock file open as fd names a process that has ended. One
/// still being written (empty) does not.
bool holder_ended(int fd) {
  char text[32] = {};
  const ssize_t got = ::read(fd, text, sizeof text - 1);
  if (got <= 0) return false;
  const auto pid = static_cast<pid_t>(std::strtol(text, nullptr, 10));
  return pid > 0 && ::kill(pid, 0) != 0 && errno == ESRCH;
}

/// Removes the lock file when the process it names has ended. It is moved
/// aside first: when another waiter took the lock over in between, what was
/// moved is that waiter's live lock, and it is put back.
void remove_if_stale(const std::filesystem::path& path) {
  const UniqueFd fd(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
  struct stat seen {};
  if (!fd.valid() || !holder_ended(fd.get()) || ::fstat(fd.get(), &seen) != 0) return;
  const std::string aside = path.string() + ".stale-" + std::to_string(::getpid());
  if (::rename(path.c_str(), aside.c_str()) != 0) return;
  struct stat moved {};
  const bool same = ::lstat(aside.c_str(), &moved) == 0 && moved.st_dev == seen.st_dev &&
                    moved.st_ino == seen.st_ino;
  if (!same) static_cast<void>(::link(aside.c_str(), path.c_str()));
  ::unlink(aside.c_str());
}

}  // namespace

LockFile::LockFile(std::filesystem::path path, const LockWaiting& waiting)
    : path_(std::move(path)) {
  wait_until(waiting, path_.parent_path(), [this] {
    if (try_create(path_)) return true;
    remove_if_stale(path_);
    return false;
  });
}

LockFile::~LockFile() {
  ::unlink(path_.c_str());
}

}  // namespace zarn::os
