#pragma once

#include "task/migrate/migrate_context.h"
#include "task/migrate/migration_result.h"

namespace zarn::migrate {

/// Moves the project's profile from ~/.pelk/profiles.yml into
/// ~/.zarn/profiles.yml, creating the file or adding to it; a profile already
/// there is left as it is.
MigrationResult migrate_profile(const MigrateContext& context);

}  // namespace zarn::migrate
