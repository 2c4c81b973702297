#include "task/migrate/project_import.h"

#include "os/files.h"
#include "os/folder_name.h"
#include "os/interrupt.h"
#include "os/path_text.h"
#include "task/migrate/import_summary.h"
#include "task/migrate/target_import.h"
#include "task/migrate/tree_copy.h"
#include "task/migrate/yaml_files.h"
#include "text/printable.h"

namespace zarn::migrate {
namespace {

namespace fs = std::filesystem;

/// The name becomes a folder under each copied folder, so it must be one
/// plain component, without characters that no listing shows as typed.
bool usable_folder_name(const std::string& name) {
  return !os::folder_name_problem(name);
}

const fs::path& source_path_of(const MigrateContext& context) {
  if (!context.settings().source_path) {
    throw std::logic_error("a project import needs a source path");
  }
  return *context.settings().source_path;
}

/// The imported project's name: its `name`, else its folder's name.
std::string checked_source_name(const fs::path& source_path, const fs::path& source_config_path) {
  const yaml::Node config = load_project_mapping(source_config_path);
  if (const yaml::Node* name = config.find("name")) {
    if (!name->is_string()) {
      throw std::runtime_error(source_config_path.string() + ": 'name' must be text, found " +
                               text::printable(name->str()));
    }
    if (!usable_folder_name(name->as_string())) {
      throw std::runtime_error(source_config_path.string() + ": project name '" +
                               text::printable(name->as_string()) +
                               "' cannot be used as a folder name");
    }
    return name->as_string();
  }
  // "." or ".." name no folder of their own; the folder they stand for does.
  std::string folder = os::path_name(source_path);
  if (!usable_folder_name(folder))
    folder = os::path_name(fs::absolute(source_path).lexically_normal());
  if (!usable_folder_name(folder)) {
    throw std::runtime_error("cannot tell the name of the project at " +
                             text::printable(os::path_text(source_path)) +
                             "; add 'name:' to its pelk_project.yml");
  }
  return folder;
}

std::vector<std::string> folder_names(const std::vector<CopiedFolder>& copied) {
  std::vector<std::string> names;
  names.reserve(copied.size());
  for (const CopiedFolder& copy : copied) names.push_back(copy.folder);
  return names;
}

}  // namespace

ImportOutcome import_project(const MigrateContext& context) {
  const fs::path& source_path = source_path_of(context);
  const fs::path source_config_path = source_path / "pelk_project.yml";
  if (!os::entry_exists(source_config_path)) {
    throw NoSourceProject("No pelk_project.yml found in " + os::path_text(source_path));
  }
  // Both project files are checked before anything is copied.
  const std::string source_name = checked_source_name(source_path, source_config_path);
  zarn_project_profile(context.project_dir() / "zarn_project.yml");

  if (context.dry_run()) {
    context.echo("Importing pelk project '" + source_name + "' (DRY RUN)...");
  } else {
    context.echo("Importing pelk project '" + source_name + "' into current ZARN project...");
  }
  context.echo("");

  ImportOutcome outcome;
  for (const std::string_view dir_name : kImportedFolders) {
    if (auto copy = copy_folder(context, std::string(dir_name), source_name)) {
      outcome.copied.push_back(std::move(*copy));
    }
  }
  outcome.targets = import_profile_targets(context, source_name);
  show_import_summary(context, source_name, folder_names(outcome.copied));
  return outcome;
}

std::optional<CopiedFolder> copy_folder(const MigrateContext& context, const std::string& dir_name,
                                        const std::string& source_name) {
  const fs::path& source_path = source_path_of(context);
  // Each name is one folder inside its project, as the import's own names are.
  for (const std::string* name : {&dir_name, &source_name}) {
    if (!usable_folder_name(*name)) {
      throw std::invalid_argument("'" + text::printable(*name) +
                                  "' cannot be used as a folder name inside the project");
    }
  }
  const fs::path source_dir = source_path / dir_name;
  if (!os::entry_exists(source_dir)) return std::nullopt;
  const fs::path target_dir = context.project_dir() / dir_name / source_name;

  // Links that lead out of the source project are kept as links, not copied.
  const fs::path source_project = fs::canonical(source_path);
  if (context.dry_run()) {
    const std::size_t file_count = count_files(source_dir, source_project);
    context.checkpoint();
    context.echo("  [DRY RUN] Would copy " + dir_name + "/ (" + std::to_string(file_count) +
                 " files) → " + dir_name + "/" + source_name + "/");
    return CopiedFolder{dir_name, static_cast<int>(file_count)};
  }

  os::create_folders(target_dir.parent_path());
  os::ThrottledPoll interrupt([&context] { return context.host().pending_interrupt(); });
  copy_tree(source_dir, target_dir, source_project, [&interrupt] {
    if (const int signal = interrupt()) throw os::Interrupted(signal);
  });
  // The throttled poll may not have asked since the last file.
  context.checkpoint();
  const std::size_t file_count = count_files(target_dir, fs::canonical(context.project_dir()));
  context.echo("  Copied " + dir_name + "/ (" + std::to_string(file_count) + " files)");
  return CopiedFolder{dir_name, static_cast<int>(file_count)};
}

}  // namespace zarn::migrate
