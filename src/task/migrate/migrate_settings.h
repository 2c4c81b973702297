#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace zarn::migrate {

/// What one `zarn migrate` was asked to do; fixed for the run.
struct MigrateSettings {
  std::optional<std::filesystem::path> source_path{};  ///< the PELK project to import
  bool profiles_only = false;
  bool project_only = false;
  bool full = false;
  bool dry_run = false;
  std::filesystem::path project_dir{};  ///< the project folder: Mode A's, or the import's target
};

/// Settings from the command's texts: an absent or empty source path means
/// none, an absent or empty project folder the working folder, taken now.
MigrateSettings settings_from_arguments(const std::optional<std::string>& source_path,
                                        bool profiles_only, bool project_only, bool full,
                                        bool dry_run,
                                        const std::optional<std::string>& project_dir);

}  // namespace zarn::migrate
