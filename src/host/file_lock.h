#pragma once

#include <filesystem>
#include <functional>
#include <string>

#include "host/interrupt.h"
#include "host/unique_fd.h"

namespace zarn::host {

class Host;

/// What a FolderLock does while another process holds the folder.
struct LockWaiting {
  /// Polled while waiting; a signal ends the wait with Interrupted.
  InterruptPoll pending_interrupt;
  /// Called once, with the folder, when the wait has lasted a second.
  std::function<void(const std::filesystem::path&)> on_long_wait;
};

/// An exclusive lock (flock) on a folder, held while the object lives. Every
/// zarn process that reads a file of the folder in order to rewrite it holds
/// the folder's lock from the read to the rename, so no two rewrites
/// interleave and none loses the other's change. The folder itself is
/// locked, so no lock file is left behind. Waits as long as another process
/// holds the lock. Not reentrant: a second lock of the same folder in the
/// same process waits for the first one.
class FolderLock {
 public:
  /// Shared holders exclude only an exclusive one: many readers, or one
  /// writer that may remove what they read.
  enum class Kind { kExclusive, kShared };
  /// Throws std::runtime_error naming the folder when it cannot be opened,
  /// and Interrupted when waiting pending_interrupt reports a signal.
  explicit FolderLock(const std::filesystem::path& folder, const LockWaiting& waiting = {},
                      Kind kind = Kind::kExclusive);
  ~FolderLock() = default;  // closing the folder releases the lock
  FolderLock(const FolderLock&) = delete;
  FolderLock& operator=(const FolderLock&) = delete;

 private:
  void wait_for_lock(const std::filesystem::path& folder, const LockWaiting& waiting, Kind kind);

  UniqueFd fd_;
};

/// The waiting of a task's host: its interrupt, and a notice on standard
/// error ("waiting for another zarn to finish with {folder}...").
LockWaiting waiting_of(Host& host);

/// The line a long wait shows.
std::string waiting_notice(const std::filesystem::path& folder);

}  // namespace zarn::host
