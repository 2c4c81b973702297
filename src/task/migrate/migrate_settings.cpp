#include "task/migrate/migrate_settings.h"

namespace zarn::migrate {

MigrateSettings settings_from_arguments(const std::optional<std::string>& source_path,
                                        bool profiles_only, bool project_only, bool full,
                                        bool dry_run,
                                        const std::optional<std::string>& project_dir) {
  MigrateSettings settings{std::nullopt, profiles_only, project_only, full, dry_run, {}};
  if (source_path && !source_path->empty()) settings.source_path = *source_path;
  const bool project_given = project_dir && !project_dir->empty();
  settings.project_dir =
      project_given ? std::filesystem::path(*project_dir) : std::filesystem::current_path();
  return settings;
}

}  // namespace zarn::migrate
