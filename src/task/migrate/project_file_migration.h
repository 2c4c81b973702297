#pragma once

#include "task/migrate/migrate_context.h"
#include "task/migrate/migration_result.h"

namespace zarn::migrate {

/// Backs up pelk_project.yml and writes zarn_project.yml from the template,
/// with flatfiles/ and its .gitignore; an existing zarn_project.yml is kept.
MigrationResult migrate_project_file(const MigrateContext& context);

}  // namespace zarn::migrate
