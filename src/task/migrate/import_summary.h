#pragma once

#include <string>
#include <vector>

#include "task/migrate/migrate_context.h"

namespace zarn::migrate {

/// Prints the end of an import: each copied folder where it landed, and the
/// next steps, which start with the first of them (models when none); in a
/// dry run only that nothing changed.
void show_import_summary(const MigrateContext& context, const std::string& source_name,
                         const std::vector<std::string>& copied_folders);

}  // namespace zarn::migrate
