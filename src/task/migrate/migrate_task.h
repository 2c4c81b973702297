#pragma once

/// ZARN Migration Task - Migrate from pelk to ZARN configuration.
///
/// Two modes:
/// - Mode A: Convert pelk project to ZARN (not in ZARN project)
/// - Mode B: Import pelk project INTO ZARN project (in ZARN project)

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "host/host.h"

namespace zarn::migrate {

/// Result of a migration operation.
struct MigrationResult {
  bool success;
  std::string message;
  int files_copied = 0;

  friend bool operator==(const MigrationResult&, const MigrationResult&) = default;
};

/// ZARN Migration Task.
///
/// Handles two modes:
/// - Mode A: Convert pelk project to ZARN (when not in ZARN project)
/// - Mode B: Import pelk project INTO ZARN project (when in ZARN project)
class MigrateTask {
 public:
  MigrateTask(host::Host& host, std::optional<std::string> source_path = std::nullopt,
              bool profiles_only = false, bool project_only = false, bool full = false,
              bool dry_run = false, std::optional<std::string> project_dir = std::nullopt);

  /// Execute migration based on context and flags.
  bool run();

  /// Mode A: Convert pelk project in current directory to ZARN.
  bool _convert_to_zarn();
  /// Auto-detect what needs to be migrated.
  std::vector<std::optional<MigrationResult>> _auto_detect_and_migrate();
  /// Migrate project-specific profile from ~/.pelk/profiles.yml to ~/.zarn/profiles.yml.
  MigrationResult _migrate_profiles();
  /// Create zarn_project.yml from fresh template (like pelk init) + ZARN additions.
  MigrationResult _migrate_project_file();
  /// Mode B: Import pelk project INTO current ZARN project.
  bool _import_pelk_project();
  /// Copy a directory from source to target/<source_name>/.
  std::optional<MigrationResult> _copy_directory(const std::string& dir_name,
                                                 const std::string& source_name);
  /// Import profile targets from source pelk project into ZARN profile.
  MigrationResult _import_profile_targets(const std::string& source_name);
  /// Show migration summary for Mode A.
  void _show_summary(const std::vector<std::optional<MigrationResult>>& results);
  /// Show import summary for Mode B.
  void _show_import_summary(const std::string& source_name,
                            const std::vector<std::optional<MigrationResult>>& results);

  const std::optional<std::filesystem::path> source_path;
  const bool profiles_only;
  const bool project_only;
  const bool full;
  const bool dry_run;
  const std::filesystem::path project_dir;

 private:
  /// Every line the task prints goes through here.
  void echo(std::string_view text) const;
  /// A path under the user's home folder, which is looked up afresh each time.
  std::filesystem::path home_path(std::string_view folder, std::string_view file) const;
  /// The imported project's name, checked before anything is copied.
  std::string checked_source_name(const std::filesystem::path& source_config_path) const;

  host::Host& host_;
};

}  // namespace zarn::migrate
