#include "task/migrate/target_import.h"

#include <optional>
#include <stdexcept>

#include "host/lock_waiting.h"
#include "os/file_lock.h"
#include "os/files.h"
#include "task/migrate/yaml_files.h"

namespace zarn::migrate {
namespace {

namespace fs = std::filesystem;

/// The targets of a PELK profile; empty when the profile is missing or empty.
yaml::Node source_outputs_of(const yaml::Node& pelk_profiles, const yaml::Node& profile_name,
                             const fs::path& path) {
  const yaml::Node* profile = pelk_profiles.find(profile_name);
  if (profile == nullptr || !profile->truthy()) return yaml::Node::mapping();
  require_mapping(*profile, "profile '" + profile_name.str() + "'", path);
  const yaml::Node* outputs = profile->find("outputs");
  return outputs ? *outputs : yaml::Node::mapping();
}

/// The ZARN profile that receives the targets; a new one when the file has none.
yaml::Node receiving_profile(const yaml::Node& zarn_profiles, const yaml::Node& profile_name,
                             const fs::path& path) {
  if (const yaml::Node* found = zarn_profiles.find(profile_name)) {
    require_mapping(*found, "profile '" + profile_name.str() + "'", path);
    return *found;
  }
  return new_zarn_profile();
}

/// Adds each source target as "{source_name}_{target}" unless that name is
/// taken; returns how many were added.
int merge_targets(yaml::Node& profile, const yaml::Node& source_outputs,
                  const std::string& source_name, const std::string& describe,
                  const fs::path& path) {
  const yaml::Node* present = profile.find("outputs");
  const bool has_outputs = present != nullptr && !present->is_null();
  // Copies of a node share its value, so filling this fills the profile's own.
  yaml::Node outputs = has_outputs ? *present : yaml::Node::mapping();
  if (has_outputs) require_mapping(outputs, "outputs of " + describe, path);
  int merged_count = 0;
  for (const auto& [output_name, output_config] : source_outputs.entries()) {
    const std::string new_name = source_name + "_" + output_name.str();
    if (outputs.contains(new_name)) continue;
    outputs.set(new_name, output_config);
    ++merged_count;
  }
  if (!has_outputs && merged_count > 0) profile.set("outputs", outputs);
  return merged_count;
}

}  // namespace

MigrationResult import_profile_targets(const MigrateContext& context,
                                       const std::string& source_name) {
  const std::optional<fs::path>& source_path = context.settings().source_path;
  if (!source_path) throw std::logic_error("a target import needs a source path");
  const bool dry_run = context.dry_run();
  const yaml::Node zarn_profile_name =
      zarn_project_profile(context.project_dir() / "zarn_project.yml");
  const fs::path source_config_path = *source_path / "pelk_project.yml";
  const yaml::Node source_profile_name = profile_key_of(load_project_mapping(source_config_path));

  const fs::path pelk_profiles_path = context.pelk_profiles_path();
  if (!os::entry_exists(pelk_profiles_path)) {
    context.echo("  No ~/.pelk/profiles.yml found - skipping target import");
    return {true, "No pelk profiles found"};
  }
  const yaml::Node pelk_profiles = load_mapping_or_empty(pelk_profiles_path);
  const yaml::Node source_outputs =
      source_outputs_of(pelk_profiles, source_profile_name, pelk_profiles_path);
  if (!source_outputs.truthy()) {
    context.echo("  No outputs found for profile '" + source_profile_name.str() + "'");
    return {true, "No outputs to import"};
  }
  require_mapping(source_outputs, "outputs of profile '" + source_profile_name.str() + "'",
                  pelk_profiles_path);

  const fs::path zarn_profiles_path = context.zarn_profiles_path();
  if (!os::entry_exists(zarn_profiles_path)) {
    context.echo("  No ~/.zarn/profiles.yml found - skipping target import");
    return {false, "No ZARN profiles found"};
  }
  // Held from reading the ZARN file to replacing it: another zarn importing
  // at the same time merges into the file this one writes, not the one it read.
  std::optional<os::FolderLock> lock;
  if (!dry_run) {
    lock.emplace(os::written_file(zarn_profiles_path).parent_path(),
                 host::waiting_of(context.host()));
  }
  yaml::Node zarn_profiles = load_mapping_or_empty(zarn_profiles_path);
  const std::string shown_profile = zarn_profile_name.str();
  yaml::Node zarn_profile = receiving_profile(zarn_profiles, zarn_profile_name, zarn_profiles_path);
  const int merged_count = merge_targets(zarn_profile, source_outputs, source_name,
                                         "profile '" + shown_profile + "'", zarn_profiles_path);
  zarn_profiles.set(zarn_profile_name, zarn_profile);

  const std::string count = std::to_string(merged_count);
  if (dry_run) {
    context.echo("  [DRY RUN] Would merge " + count + " target(s) into profile");
  } else {
    context.checkpoint();
    write_profiles_file(zarn_profiles_path, zarn_profiles);
    context.echo("  Merged " + count + " target(s) into profile '" + shown_profile + "'");
  }
  return {true, "Merged " + count + " targets", merged_count};
}

}  // namespace zarn::migrate
