#pragma once

#include <filesystem>
#include <optional>
#include <string_view>

#include "os/unique_fd.h"

namespace zarn::os {

/// A file written beside its target under a temporary name and renamed over
/// it by commit(), so readers see the old file or the whole new one, never a
/// part. The temporary name is ".{target name}.zarn-tmp-{pid}-XXXXXX"; it
/// never ends like the target. The temporary is readable by its owner only
/// until commit() gives it its final mode (and, where the process may, the
/// old file's owner and group), and stays locked (flock) by the
/// writer while it lives, so a later writer can tell a leftover from a live
/// one. Without commit() the destructor removes the temporary file.
class AtomicFile {
 public:
  /// Whether the constructor removes the leftover temporaries of target's
  /// writers that have ended; kSkip where the caller swept the whole folder
  /// once for many files (a listing per file would grow with their square).
  enum class Sweep { kLeftovers, kSkip };

  /// new_file_mode applies when the target does not exist yet; an existing
  /// target's permission bits are kept.
  explicit AtomicFile(std::filesystem::path target,
                      std::optional<std::filesystem::perms> new_file_mode = std::nullopt,
                      Sweep sweep = Sweep::kLeftovers);
  ~AtomicFile();
  AtomicFile(const AtomicFile&) = delete;
  AtomicFile& operator=(const AtomicFile&) = delete;

  /// Appends bytes; throws std::runtime_error naming the file.
  void write(std::string_view bytes);
  /// The mode commit() gives the file, whatever the target's mode is now.
  void set_final_mode(std::filesystem::perms mode) { final_mode_ = mode; }
  /// What commit() waits for before the rename.
  enum class Durability {
    kOnDisk,      ///< the content is on disk: a power cut leaves the old file or the new one
    kProcessSafe  ///< only the rename: safe against a failing process, not a failing machine
  };
  /// Sets the final mode and renames over the target, after flushing to disk
  /// for kOnDisk; throws naming the file.
  void commit(Durability durability = Durability::kOnDisk);

  int fd() const { return fd_.get(); }
  const std::filesystem::path& temporary_path() const { return temporary_; }

 private:
  std::filesystem::path target_;
  std::filesystem::path temporary_;
  std::optional<std::filesystem::perms> new_file_mode_;
  std::optional<std::filesystem::perms> final_mode_;
  UniqueFd fd_;
  bool committed_ = false;
};

/// Whether name is one AtomicFile gives its temporary files.
bool is_atomic_temporary_name(std::string_view name);

/// Whether path is an AtomicFile temporary whose writer has ended (killed,
/// or a power cut): no process holds its lock and the process named in it
/// is gone. A live writer's temporary, of this process too, is never stale.
bool is_stale_temporary(const std::filesystem::path& path);

/// Removes the stale temporaries beside target that were meant for it.
void remove_stale_temporaries(const std::filesystem::path& target);

/// Removes the temporaries of this process's AtomicFiles that are still
/// open. For a shutdown on a signal that does not unwind them; safe to call
/// at any time from the main flow (never from a signal handler).
void remove_live_temporaries() noexcept;

/// Writes content to path through an AtomicFile.
void write_file_atomic(const std::filesystem::path& path, std::string_view content,
                       std::optional<std::filesystem::perms> new_file_mode = std::nullopt);

}  // namespace zarn::os
