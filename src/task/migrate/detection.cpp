#include "task/migrate/detection.h"

#include "host/files.h"

namespace zarn::migrate {

bool in_zarn_project(const std::filesystem::path& project_dir) {
  return host::entry_exists(project_dir / "zarn_project.yml");
}

PelkFiles find_pelk_files(const MigrateContext& context) {
  return {host::entry_exists(context.pelk_profiles_path()),
          host::entry_exists(context.project_dir() / "pelk_project.yml")};
}

}  // namespace zarn::migrate
