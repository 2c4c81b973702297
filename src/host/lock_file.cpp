#include "host/lock_file.h"

#include <fcntl.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <string>

#include "host/file_error.h"
#include "host/unique_fd.h"

namespace zarn::host {
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

/// Whether the lock file names a process that has ended. One still being
/// written (empty) is not.
bool holder_ended(const std::filesystem::path& path) {
  const UniqueFd fd(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
  if (!fd.valid()) return false;
  char text[32] = {};
  const ssize_t got = ::read(fd.get(), text, sizeof text - 1);
  if (got <= 0) return false;
  const pid_t pid = static_cast<pid_t>(std::strtol(text, nullptr, 10));
  return pid > 0 && ::kill(pid, 0) != 0 && errno == ESRCH;
}

}  // namespace

LockFile::LockFile(std::filesystem::path path, const LockWaiting& waiting)
    : path_(std::move(path)) {
  wait_until(waiting, path_.parent_path(), [this] {
    if (try_create(path_)) return true;
    if (holder_ended(path_)) ::unlink(path_.c_str());
    return false;
  });
}

LockFile::~LockFile() {
  ::unlink(path_.c_str());
}

}  // namespace zarn::host
