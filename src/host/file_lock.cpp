#include "host/file_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <stdexcept>
#include <string>
#include <thread>

#include "host/host.h"

namespace zarn::host {
namespace {

constexpr auto kRetryInterval = std::chrono::milliseconds(100);
constexpr auto kQuietWait = std::chrono::seconds(1);

[[noreturn]] void fail(const std::filesystem::path& folder, int error) {
  throw std::runtime_error("cannot lock folder " + folder.string() + ": " + std::strerror(error));
}

}  // namespace

void FolderLock::wait_for_lock(const std::filesystem::path& folder, const LockWaiting& waiting) {
  const auto start = std::chrono::steady_clock::now();
  bool told = false;
  while (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
    if (errno != EWOULDBLOCK && errno != EINTR) fail(folder, errno);
    if (const int signal = waiting.pending_interrupt ? waiting.pending_interrupt() : 0) {
      throw Interrupted(signal);
    }
    if (!told && std::chrono::steady_clock::now() - start >= kQuietWait) {
      told = true;
      if (waiting.on_long_wait) waiting.on_long_wait(folder);
    }
    std::this_thread::sleep_for(kRetryInterval);
  }
}

FolderLock::FolderLock(const std::filesystem::path& folder, const LockWaiting& waiting) {
  fd_ = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd_ < 0) fail(folder, errno);
  try {
    wait_for_lock(folder, waiting);
  } catch (...) {
    ::close(fd_);
    throw;
  }
}

FolderLock::~FolderLock() {
  ::close(fd_);  // releases the lock
}

std::string waiting_notice(const std::filesystem::path& folder) {
  return "waiting for another zarn to finish with " + folder.string() + "...";
}

LockWaiting waiting_of(Host& host) {
  return {[&host] { return host.pending_interrupt(); },
          [&host](const std::filesystem::path& folder) { host.notice(waiting_notice(folder)); }};
}

}  // namespace zarn::host
