#pragma once

#include "task/migrate/migrate_context.h"
#include "task/migrate/migration_result.h"

namespace zarn::migrate {

/// Mode A, the PELK setup converted in place: the steps the settings ask for
/// (profile first), or what detection finds; then the summary. True when
/// every step succeeded.
bool convert_to_zarn(const MigrateContext& context);

/// Migrates whichever PELK files exist, telling what it found.
MigrationResults auto_detect_and_migrate(const MigrateContext& context);

/// Lists the steps that succeeded; prints nothing when none did.
void show_summary(const MigrateContext& context, const MigrationResults& results);

}  // namespace zarn::migrate
