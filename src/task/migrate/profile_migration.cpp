#include "task/migrate/profile_migration.h"

#include <optional>

#include "host/lock_waiting.h"
#include "os/file_lock.h"
#include "os/files.h"
#include "os/path_text.h"
#include "task/migrate/yaml_files.h"

namespace zarn::migrate {
namespace {

/// The profile the project uses: `profile`, else `name` of its project file,
/// else the project folder's own name. A key that is present decides, even
/// when its value is empty.
yaml::Node chosen_profile_name(const std::filesystem::path& project_dir) {
  const std::filesystem::path project_path = project_dir / "pelk_project.yml";
  yaml::Node folder_name = yaml::Node::string(os::path_name(project_dir));
  if (!os::entry_exists(project_path)) return folder_name;
  const yaml::Node project = load_mapping_or_empty(project_path);
  const yaml::Node* entry = profile_entry(project);
  return entry != nullptr ? *entry : folder_name;
}

}  // namespace

MigrationResult migrate_profile(const MigrateContext& context) {
  const std::filesystem::path old_path = context.pelk_profiles_path();
  const std::filesystem::path new_path = context.zarn_profiles_path();
  const bool dry_run = context.dry_run();

  if (!os::entry_exists(old_path)) {
    context.echo("  No ~/.pelk/profiles.yml found");
    return {false, "No ~/.pelk/profiles.yml found"};
  }

  const yaml::Node profile_name = chosen_profile_name(context.project_dir());
  const std::string shown = profile_name.str();
  const yaml::Node old_profiles = load_mapping_or_empty(old_path);
  const yaml::Node* profile = old_profiles.find(profile_name);
  if (profile == nullptr) {
    context.echo("  No profile '" + shown + "' found in ~/.pelk/profiles.yml");
    return {false, "Profile '" + shown + "' not found"};
  }

  // Held from reading the ZARN file to replacing it, so a concurrent zarn's
  // change is never overwritten with what this one read before it.
  std::optional<os::FolderLock> lock;
  if (!dry_run) {
    os::create_folders(new_path.parent_path());
    lock.emplace(os::written_file(new_path).parent_path(), host::waiting_of(context.host()));
  }
  yaml::Node profiles = yaml::Node::mapping({{profile_name, *profile}});
  bool merged = false;
  if (os::entry_exists(new_path)) {
    yaml::Node existing = load_mapping_or_empty(new_path);
    if (existing.contains(profile_name)) {
      context.echo("  Profile '" + shown + "' already exists in ~/.zarn/profiles.yml - skipping");
      return {true, "Profile '" + shown + "' already exists"};
    }
    existing.set(profile_name, *profile);
    profiles = existing;
    merged = true;
  }

  if (dry_run) {
    context.echo("  [DRY RUN] Would migrate profile '" + shown + "'");
  } else {
    context.checkpoint();
    write_profiles_file(new_path, profiles);
    context.echo(std::string("  ") + (merged ? "Merged" : "Migrated") + " profile '" + shown +
                 "' to ~/.zarn/profiles.yml");
  }
  return {true, "Migrated profile '" + shown + "'"};
}

}  // namespace zarn::migrate
