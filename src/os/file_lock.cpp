#include "os/file_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <stdexcept>
#include <string>
#include <thread>

#include "os/file_error.h"
#include "os/lock_file.h"

namespace zarn::os {
namespace {

constexpr auto kRetryInterval = std::chrono::milliseconds(100);
constexpr auto kQuietWait = std::chrono::seconds(1);

}  // namespace

void wait_until(const LockWaiting& waiting, const std::filesystem::path& folder,
                const std::function<bool()>& try_once) {
  const auto start = std::chrono::steady_clock::now();
  bool told = false;
  while (!try_once()) {
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
  bool no_flock = false;
  const int operation = kind == Kind::kShared ? LOCK_SH : LOCK_EX;
  wait_until(waiting, folder, [&] {
    if (::flock(fd_.get(), operation | LOCK_NB) == 0) return true;
    if (errno == ENOLCK) return no_flock = true;
    if (errno != EWOULDBLOCK && errno != EINTR) throw_file_error("lock folder", folder, errno);
    return false;
  });
  if (no_flock) fallback_ = std::make_unique<LockFile>(folder / ".zarn-lock", waiting);
}

FolderLock::~FolderLock() = default;

std::filesystem::path written_file(const std::filesystem::path& path) {
  // Followed link by link, so one that leads nowhere yet is written where it points.
  constexpr int kMaxLinks = 40;
  std::filesystem::path file = path;
  std::error_code error;
  for (int i = 0; i < kMaxLinks && std::filesystem::is_symlink(file, error); ++i) {
    const std::filesystem::path target = std::filesystem::read_symlink(file, error);
    if (error) break;
    file = (target.is_absolute() ? target : file.parent_path() / target).lexically_normal();
  }
  return file;
}

std::string waiting_notice(const std::filesystem::path& folder) {
  return "waiting for another zarn to finish with " + folder.string() + "...";
}

}  // namespace zarn::os
