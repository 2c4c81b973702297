#pragma once

#include <filesystem>

#include "task/migrate/migrate_context.h"

namespace zarn::migrate {

/// Whether the folder is a ZARN project: any entry named zarn_project.yml counts.
bool in_zarn_project(const std::filesystem::path& project_dir);

/// The PELK files a conversion in place can work on.
struct PelkFiles {
  bool profiles = false;  ///< ~/.pelk/profiles.yml
  bool project = false;   ///< pelk_project.yml in the project folder
};

/// Which PELK files exist, both tested before either is reported.
PelkFiles find_pelk_files(const MigrateContext& context);

}  // namespace zarn::migrate
