#pragma once

#include <string>

#include "task/migrate/migrate_context.h"
#include "task/migrate/migration_result.h"

namespace zarn::migrate {

/// Adds the targets of the imported project's PELK profile to the ZARN
/// project's profile, each as "{source_name}_{target}"; names already present
/// are skipped. Needs the settings' source path.
MigrationResult import_profile_targets(const MigrateContext& context,
                                       const std::string& source_name);

}  // namespace zarn::migrate
