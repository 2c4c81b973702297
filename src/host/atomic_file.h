#pragma once

#include <filesystem>
#include <optional>
#include <string_view>

namespace zarn::host {

/// A file written beside its target under a temporary name and renamed over
/// it by commit(), so readers see the old file or the whole new one, never a
/// part. The temporary name is ".{target name}.zarn-tmp-XXXXXX"; it never ends
/// like the target. Without commit() the destructor removes the temporary file.
class AtomicFile {
 public:
  /// new_file_mode applies when the target does not exist yet; an existing
  /// target's permission bits are kept.
  explicit AtomicFile(std::filesystem::path target,
                      std::optional<std::filesystem::perms> new_file_mode = std::nullopt);
  ~AtomicFile();
  AtomicFile(const AtomicFile&) = delete;
  AtomicFile& operator=(const AtomicFile&) = delete;

  /// Appends bytes; throws std::runtime_error naming the file.
  void write(std::string_view bytes);
  /// What commit() waits for before the rename.
  enum class Durability {
    kOnDisk,      ///< the content is on disk: a power cut leaves the old file or the new one
    kProcessSafe  ///< only the rename: safe against a failing process, not a failing machine
  };
  /// Renames over the target, after flushing to disk for kOnDisk; throws naming the file.
  void commit(Durability durability = Durability::kOnDisk);

  int fd() const { return fd_; }
  const std::filesystem::path& target() const { return target_; }
  const std::filesystem::path& temporary_path() const { return temporary_; }

 private:
  std::filesystem::path target_;
  std::filesystem::path temporary_;
  int fd_ = -1;
  bool committed_ = false;
};

/// Whether name is one AtomicFile gives its temporary files.
bool is_atomic_temporary_name(std::string_view name);

/// Writes content to path through an AtomicFile.
void write_file_atomic(const std::filesystem::path& path, std::string_view content,
                       std::optional<std::filesystem::perms> new_file_mode = std::nullopt);

}  // namespace zarn::host
