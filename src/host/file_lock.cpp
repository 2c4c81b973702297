#include "host/file_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <stdexcept>
#include <string>
#include <thread>

#include "host/file_error.h"
#include "host/host.h"

namespace zarn::host {
namespace {

constexpr auto kRetryInterval = std::chrono::milliseconds(100);
constexpr auto kQuietWait = std::chrono::seconds(1);

}  // namespace

void FolderLock::wait_for_lock(const std::filesystem::path& folder, const LockWaiting& waiting,
                               Kind kind) {
  const auto start = std::chrono::steady_clock::now();
  bool told = false;
  const int operation = kind == Kind::kShared ? LOCK_SH : LOCK_EX;
  while (::flock(fd_.get(), operation | LOCK_NB) != 0) {
    if (errno != EWOULDBLOCK && errno != EINTR) throw_file_error("lock folder", folder, errno);
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

FolderLock::FolderLock(const std::filesystem::path& folder, const LockWaiting& waiting, Kind kind) {
  fd_ = UniqueFd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!fd_.valid()) throw_file_error("lock folder", folder, errno);
  wait_for_lock(folder, waiting, kind);
}

std::string waiting_notice(const std::filesystem::path& folder) {
  return "waiting for another zarn to finish with " + folder.string() + "...";
}

LockWaiting waiting_of(Host& host) {
  return {[&host] { return host.pending_interrupt(); },
          [&host](const std::filesystem::path& folder) { host.notice(waiting_notice(folder)); }};
}

}  // namespace zarn::host
