#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "os/interrupt.h"
#include "os/unique_fd.h"

namespace zarn::os {

/// What a FolderLock does while another process holds the folder.
struct LockWaiting {
  /// Polled while waiting; a signal ends the wait with Interrupted.
  InterruptPoll pending_interrupt;
  /// Called once, with the folder, when the wait has lasted a second.
  std::function<void(const std::filesystem::path&)> on_long_wait;
};

class LockFile;

/// An exclusive lock (flock) on a folder, held while the object lives. Every
/// zarn process that reads a file of the folder in order to rewrite it holds
/// the folder's lock from the read to the rename, so no two rewrites
/// interleave and none loses the other's change. The folder itself is
/// locked, so no lock file is left behind, except where the file system has
/// no flock (ENOLCK): there the lock is the file ".zarn-lock" in the folder.
/// Waits as long as another process holds the lock. Not reentrant: a second
/// lock of the same folder in the same process waits for the first one.
class FolderLock {
 public:
  /// Shared holders exclude only an exclusive one: many readers, or one
  /// writer that may remove what they read. The lock-file fallback is
  /// always exclusive.
  enum class Kind { kExclusive, kShared };
  /// Throws std::runtime_error naming the folder when it cannot be opened,
  /// and Interrupted when waiting pending_interrupt reports a signal.
  explicit FolderLock(const std::filesystem::path& folder, const LockWaiting& waiting = {},
                      Kind kind = Kind::kExclusive);
  ~FolderLock();  // closing the folder releases the lock
  FolderLock(const FolderLock&) = delete;
  FolderLock& operator=(const FolderLock&) = delete;

 private:
  UniqueFd fd_;
  std::unique_ptr<LockFile> fallback_;
};

/// The file a rewrite of path replaces: path, or where it leads when it is a
/// symbolic link (a profiles file kept in a dotfiles checkout). Its folder
/// is the one to lock.
std::filesystem::path written_file(const std::filesystem::path& path);

/// Calls try_once until it returns true, a few times a second, as a lock
/// wait does: Interrupted on a signal, the long-wait notice after a second.
void wait_until(const LockWaiting& waiting, const std::filesystem::path& folder,
                const std::function<bool()>& try_once);

/// The line a long wait shows.
std::string waiting_notice(const std::filesystem::path& folder);

}  // namespace zarn::os
