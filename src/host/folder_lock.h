#pragma once

#include <filesystem>

namespace zarn::host {

/// An advisory lock (flock) on a folder's own descriptor, so it leaves no
/// file behind. Every writer of the folder holds it shared for its whole
/// run; clean-up that may remove other writers' temporary files runs only
/// while it can be had exclusively. Released when destroyed.
class FolderLock {
 public:
  /// Opens the folder; a folder that cannot be opened is never exclusive.
  explicit FolderLock(const std::filesystem::path& folder);
  ~FolderLock();
  FolderLock(const FolderLock&) = delete;
  FolderLock& operator=(const FolderLock&) = delete;

  /// Takes the lock exclusively when no other holder has it; never waits.
  bool try_exclusive();
  /// Holds the lock shared (from exclusive, shared), waiting for an
  /// exclusive holder to finish.
  void share();

 private:
  int fd_ = -1;
};

}  // namespace zarn::host
