#include <stdexcept>

#include "task/migrate/migrate_task.h"

namespace zarn::migrate {

// Importing a project into a ZARN project comes next; until then it says so.
bool MigrateTask::_import_pelk_project() {
  throw std::runtime_error("importing a pelk project into a ZARN project is not available yet");
}

std::optional<MigrationResult> MigrateTask::_copy_directory(const std::string&,
                                                            const std::string&) {
  throw std::runtime_error("copying project folders is not available yet");
}

MigrationResult MigrateTask::_import_profile_targets(const std::string&) {
  throw std::runtime_error("importing profile targets is not available yet");
}

void MigrateTask::_show_import_summary(const std::string&,
                                       const std::vector<std::optional<MigrationResult>>&) {}

std::string MigrateTask::checked_source_name(const std::filesystem::path&) const { return {}; }

}  // namespace zarn::migrate
