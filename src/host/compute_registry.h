#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "host/host.h"
#include "os/file_lock.h"
#include "yaml/node.h"

namespace zarn::host {

/// One compute entry; config() is the mapping of its settings, shared with
/// the registry, so removing a key there changes what _save() writes.
class ComputeEntry {
 public:
  explicit ComputeEntry(yaml::Node entry) : entry_(std::move(entry)) {}
  /// The mapping under "config" (an entry without one gets an empty mapping).
  yaml::Node config();

 private:
  yaml::Node entry_;
};

/// The compute settings of a project: {project_dir}/.zarn/computes.yml, a
/// mapping from compute name to an entry mapping whose settings lie under
/// "config". Loaded at construction; a missing or empty file is an empty
/// registry; a file that cannot be parsed or is not a mapping throws.
class FileComputeRegistry : public ComputeRegistry {
 public:
  /// waiting: what _save() does while another zarn rewrites the file.
  explicit FileComputeRegistry(const std::string& project_dir, os::LockWaiting waiting = {});

  /// The entry of that name, or absent.
  std::optional<ComputeEntry> get(const std::string& name);
  std::unique_ptr<ComputeConfig> entry_config(const std::string& name) override;
  /// Rewrites the whole file: "# ZARN Compute Configuration", an empty line,
  /// then the sorted block dump; through a temporary file and a rename. Holds
  /// the lock of the file's folder from a fresh read to the rename: when
  /// another process changed the file since it was loaded, both sides'
  /// changes are kept (ours win where both changed the same value);
  /// otherwise exactly this registry's content is written.
  void _save() override;

  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
  os::LockWaiting waiting_;
  yaml::Node base_;  ///< the file as loaded, apart from computes_, to tell what changed
  yaml::Node computes_;
};

}  // namespace zarn::host
