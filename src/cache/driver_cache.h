#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "os/file_lock.h"

namespace zarn::cache {

/// The per-user store of driver archives and descriptors, laid out like a
/// Maven repository below its folder ("org/postgresql/postgresql/42.7.4/
/// postgresql-42.7.4.jar"), so several projects share one copy. Beside each
/// archive lie "{name}.sha1", its SHA-1 as a repository serves it, and
/// "{name}.size", its size when it was verified; the size record is written
/// last and marks the entry complete. Entries are read-only (0444) and are
/// written through temporary files and renames, so several processes may
/// fill the cache at once and each leaves whole entries.
class DriverCache {
 public:
  /// Opens the folder, creating it, and holds its shared lock while it
  /// lives, so emptying the cache waits for every sync that uses it.
  DriverCache(std::filesystem::path root, const os::LockWaiting& waiting);

  const std::filesystem::path& root() const { return root_; }

  /// Whether the archive entry at relative is whole: a regular file of the
  /// recorded size. An entry whose size changed is dropped.
  bool has_archive(const std::filesystem::path& relative) const;
  /// Puts the archive entry at dest: a hard link when allow_link is set and
  /// the file system allows it, otherwise a copy. False when the entry is
  /// not whole (it is dropped then); throws when dest cannot be written.
  bool place_archive(const std::filesystem::path& relative, const std::filesystem::path& dest,
                     bool allow_link) const;
  /// Records the verified archive at source (SHA-1 sha1, size bytes) as the
  /// entry at relative, linked when it can be; throws when it cannot.
  void keep_archive(const std::filesystem::path& relative, const std::filesystem::path& source,
                    std::string_view sha1, std::uint64_t size) const;

  /// The descriptor entry at relative; none when absent or unreadable.
  std::optional<std::string> descriptor(const std::filesystem::path& relative) const;
  void keep_descriptor(const std::filesystem::path& relative, std::string_view body) const;
  void drop_descriptor(const std::filesystem::path& relative) const;
  /// Records that repository has no descriptor at relative ("{name}.absent",
  /// holding the repository's address), so later syncs do not ask it again;
  /// and whether that is recorded for repository. Another repository (a
  /// mirror set by mistake, then corrected) may well have it.
  void keep_absence(const std::filesystem::path& relative, std::string_view repository) const;
  bool is_absent(const std::filesystem::path& relative, std::string_view repository) const;

 private:
  std::filesystem::path root_;
  os::FolderLock lock_;
};

/// The size recorded for the archive entry at path; none when incomplete.
std::optional<std::uint64_t> recorded_size(const std::filesystem::path& entry);
/// The SHA-1 recorded for the archive entry at path, or "".
std::string recorded_sha1(const std::filesystem::path& entry);
/// Removes an archive entry with its checksum and size records.
void drop_archive(const std::filesystem::path& entry);

}  // namespace zarn::cache
