#pragma once

/// ZARN Migration Task - Migrate from pelk to ZARN configuration.
///
/// Two modes:
/// - Mode A: Convert pelk project to ZARN (not in ZARN project)
/// - Mode B: Import pelk project INTO ZARN project (in ZARN project)

#include <optional>
#include <string>

#include "host/host.h"
#include "os/interrupt.h"
#include "task/migrate/migrate_context.h"
#include "task/migrate/migrate_settings.h"
#include "task/migrate/migration_result.h"

namespace zarn::migrate {

/// ZARN Migration Task.
///
/// Handles two modes:
/// - Mode A: Convert pelk project to ZARN (when not in ZARN project)
/// - Mode B: Import pelk project INTO ZARN project (when in ZARN project)
///
/// The operations keep the names the plug-in exposes and call the modules
/// that do the work. Each ends with os::Interrupted when the host asked
/// the run to stop while it ran, whether or not a step polled.
class MigrateTask {
 public:
  MigrateTask(host::Host& host, MigrateSettings settings);

  /// Execute migration based on context and flags.
  bool run();

  /// Mode A: Convert pelk project in current directory to ZARN.
  bool _convert_to_zarn();
  /// Auto-detect what needs to be migrated.
  MigrationResults _auto_detect_and_migrate();
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
  void _show_summary(const MigrationResults& results);
  /// Show import summary for Mode B.
  void _show_import_summary(const std::string& source_name, const MigrationResults& results);

  const MigrateSettings& settings() const { return context_.settings(); }

 private:
  const MigrateContext context_;
};

}  // namespace zarn::migrate
