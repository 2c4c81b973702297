#include "task/migrate/project_file_migration.h"

#include <ctime>
#include <optional>

#include "host/lock_waiting.h"
#include "os/atomic_file.h"
#include "os/file_lock.h"
#include "os/files.h"
#include "os/path_text.h"
#include "task/migrate/project_template.h"
#include "yaml/load.h"
#include "yaml/top_level.h"

namespace zarn::migrate {
namespace {

struct ProjectNames {
  std::string project_name;
  std::string profile_name;
};

/// Name and profile from the old project file, defaulting to the folder's name.
/// A file that does not parse, or holds no mapping, keeps the defaults: the
/// template stands on its own and the backup keeps the old settings.
ProjectNames read_project_names(const std::filesystem::path& old_path,
                                const std::string& folder_name) {
  ProjectNames names{folder_name, folder_name};
  const std::string text = os::read_text_file(old_path);
  yaml::Node document;
  try {
    document = yaml::load(text, old_path.string());
  } catch (const yaml::ParseError&) {
    return names;
  }
  const std::optional<yaml::Node> mapping =
      yaml::top_level_mapping(document, yaml::EmptyDocument::kNull);
  if (!mapping) return names;
  if (const yaml::Node* name = mapping->find("name")) names.project_name = name->str();
  if (const yaml::Node* profile = mapping->find("profile")) names.profile_name = profile->str();
  return names;
}

std::string timestamp(const std::tm& local) {
  char buffer[32];
  std::strftime(buffer, sizeof buffer, "%Y%m%d_%H%M%S", &local);
  return buffer;
}

}  // namespace

MigrationResult migrate_project_file(const MigrateContext& context) {
  const std::filesystem::path& project_dir = context.project_dir();
  const bool dry_run = context.dry_run();
  const std::filesystem::path old_path = project_dir / "pelk_project.yml";
  const std::filesystem::path new_path = project_dir / "zarn_project.yml";

  if (!os::entry_exists(old_path)) {
    context.echo("  No pelk_project.yml found");
    return {false, "No pelk_project.yml found"};
  }
  // Held from the check for zarn_project.yml to its write, so of several
  // migrations at once one does the work (and picks the backup's name) and
  // the others find it done.
  std::optional<os::FolderLock> lock;
  if (!dry_run) lock.emplace(project_dir, host::waiting_of(context.host()));
  if (os::entry_exists(new_path)) {
    context.echo("  zarn_project.yml already exists - skipping");
    return {true, "zarn_project.yml already exists"};
  }

  const ProjectNames names = read_project_names(old_path, os::path_name(project_dir));

  if (dry_run) {
    context.echo("  [DRY RUN] Would backup pelk_project.yml");
    context.echo("  [DRY RUN] Would create zarn_project.yml");
    context.echo("  [DRY RUN] Would create flatfiles/ directory");
    return {true, "Project migrated"};
  }

  std::filesystem::path backup_path = project_dir / "pelk_project.yml.bak";
  if (os::entry_exists(backup_path)) {
    backup_path =
        project_dir / ("pelk_project.yml." + timestamp(context.host().local_time()) + ".bak");
  }
  context.checkpoint();
  // Whole or not at all: an empty backup left by a full disk would pass for
  // the real one and push the next backup to a timestamped name.
  os::copy_file_atomic(old_path, backup_path);
  context.echo("  Backed up pelk_project.yml → " + backup_path.filename().string());

  const std::filesystem::path flatfiles = project_dir / "flatfiles";
  os::create_folder(flatfiles);
  if (!os::entry_exists(flatfiles / ".gitignore")) {
    os::write_file_atomic(flatfiles / ".gitignore", kFlatfilesGitignore);
  }
  // Written last, whole or not at all: its presence tells a rerun the
  // migration is done, so everything before it must be in place.
  os::write_file_atomic(new_path, render_project_template(names.project_name, names.profile_name));
  context.echo("  Created zarn_project.yml");
  context.echo("  Created flatfiles/ directory");
  return {true, "Project migrated"};
}

}  // namespace zarn::migrate
