#include "task/migrate/detection.h"

#include "os/files.h"

namespace zarn::migrate {

bool in_zarn_project(const std::filesystem::path& project_dir) {
  return os::entry_exists(project_dir / "zarn_project.yml");
}

PelkFiles find_pelk_files(const MigrateContext& context) {
  return {os::entry_exists(context.pelk_profiles_path()),
          os::entry_exists(context.project_dir() / "pelk_project.yml")};
}

}  // namespace zarn::migrate
