#pragma once

#include <filesystem>

#include "os/file_lock.h"

namespace zarn::os {

/// An exclusive lock held as a file that exists while the object lives, for
/// file systems without flock (ENOLCK). The file is created exclusively and
/// holds the holder's process id; one left by a process that has ended is
/// taken over. Waits as FolderLock does.
class LockFile {
 public:
  /// Throws naming the file when it cannot be created, and Interrupted when
  /// waiting pending_interrupt reports a signal.
  LockFile(std::filesystem::path path, const LockWaiting& waiting);
  ~LockFile();
  LockFile(const LockFile&) = delete;
  LockFile& operator=(const LockFile&) = delete;

 private:
  std::filesystem::path path_;
};

}  // namespace zarn::os
