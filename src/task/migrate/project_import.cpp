#include <algorithm>
#include <array>
#include <cctype>
#include <stdexcept>

#include "os/files.h"
#include "os/folder_name.h"
#include "os/interrupt.h"
#include "os/path_text.h"
#include "task/migrate/migrate_task.h"
#include "task/migrate/tree_copy.h"
#include "task/migrate/yaml_files.h"
#include "text/printable.h"

namespace zarn::migrate {
namespace {

namespace fs = std::filesystem;

constexpr std::array<std::string_view, 6> kDirsToCopy = {"models", "seeds",     "tests",
                                                         "macros", "snapshots", "analyses"};
constexpr std::string_view kSeparator =
    "============================================================";

/// The name becomes a folder under each copied folder, so it must be one
/// plain component, without characters that no listing shows as typed.
bool usable_folder_name(const std::string& name) {
  return !os::folder_name_problem(name);
}

std::string capitalized(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  if (!text.empty()) text[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(text[0])));
  return text;
}

}  // namespace

std::string MigrateTask::checked_source_name(const fs::path& source_config_path) const {
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
  std::string folder = os::path_name(*source_path);
  if (!usable_folder_name(folder))
    folder = os::path_name(fs::absolute(*source_path).lexically_normal());
  if (!usable_folder_name(folder)) {
    throw std::runtime_error("cannot tell the name of the project at " +
                             text::printable(os::path_text(*source_path)) +
                             "; add 'name:' to its pelk_project.yml");
  }
  return folder;
}

bool MigrateTask::_import_pelk_project() {
  const fs::path source_config_path = *source_path / "pelk_project.yml";
  if (!os::entry_exists(source_config_path)) {
    echo("Error: No pelk_project.yml found in " + os::path_text(*source_path));
    return false;
  }
  // Both project files are checked before anything is copied.
  const std::string source_name = checked_source_name(source_config_path);
  zarn_project_profile(project_dir / "zarn_project.yml");

  if (dry_run) {
    echo("Importing pelk project '" + source_name + "' (DRY RUN)...");
  } else {
    echo("Importing pelk project '" + source_name + "' into current ZARN project...");
  }
  echo("");

  std::vector<std::optional<MigrationResult>> results;
  for (const std::string_view dir_name : kDirsToCopy) {
    if (auto result = _copy_directory(std::string(dir_name), source_name)) {
      results.push_back(std::move(result));
    }
  }
  results.push_back(_import_profile_targets(source_name));
  _show_import_summary(source_name, results);
  return std::all_of(results.begin(), results.end(),
                     [](const auto& result) { return !result || result->success; });
}

std::optional<MigrationResult> MigrateTask::_copy_directory(const std::string& dir_name,
                                                            const std::string& source_name) {
  if (!source_path) throw std::logic_error("a project import needs a source path");
  // Each name is one folder inside its project, as the import's own names are.
  for (const std::string* name : {&dir_name, &source_name}) {
    if (!usable_folder_name(*name)) {
      throw std::invalid_argument("'" + text::printable(*name) +
                                  "' cannot be used as a folder name inside the project");
    }
  }
  const fs::path source_dir = *source_path / dir_name;
  if (!os::entry_exists(source_dir)) return std::nullopt;
  const fs::path target_dir = project_dir / dir_name / source_name;

  // Links that lead out of the source project are kept as links, not copied.
  const fs::path source_project = fs::canonical(*source_path);
  if (dry_run) {
    const std::size_t file_count = count_files(source_dir, source_project);
    echo("  [DRY RUN] Would copy " + dir_name + "/ (" + std::to_string(file_count) + " files) → " +
         dir_name + "/" + source_name + "/");
    return MigrationResult{true, dir_name + "/ (dry run)", static_cast<int>(file_count)};
  }

  os::create_folders(target_dir.parent_path());
  os::ThrottledPoll interrupt([this] { return host_.pending_interrupt(); });
  copy_tree(source_dir, target_dir, source_project, [&interrupt] {
    if (const int signal = interrupt()) throw os::Interrupted(signal);
  });
  const std::size_t file_count = count_files(target_dir, fs::canonical(project_dir));
  echo("  Copied " + dir_name + "/ (" + std::to_string(file_count) + " files)");
  return MigrationResult{true, dir_name + "/", static_cast<int>(file_count)};
}

void MigrateTask::_show_import_summary(const std::string& source_name,
                                       const std::vector<std::optional<MigrationResult>>& results) {
  if (dry_run) {
    echo("");
    echo("No changes made (dry run).");
    return;
  }
  std::vector<std::string> copied_dirs;
  for (const auto& result : results) {
    if (result && result->success && result->message.find('/') != std::string::npos) {
      copied_dirs.push_back(result->message);
    }
  }

  echo("");
  echo(kSeparator);
  echo("Import complete!");
  echo(kSeparator);
  echo("  Project: " + source_name);
  for (const std::string& dir_result : copied_dirs) {
    std::string dir_name = dir_result;
    while (!dir_name.empty() && dir_name.back() == '/') dir_name.pop_back();
    echo("  " + capitalized(dir_name) + ": " + dir_name + "/" + source_name + "/");
  }
  echo("");
  echo("Next steps:");
  const std::string first_dir =
      copied_dirs.empty() ? "models" : copied_dirs.front().substr(0, copied_dirs.front().find('/'));
  echo("  1. Review " + first_dir + "/" + source_name + "/ for ref() adjustments");
  echo("  2. Update zarn_project.yml if needed");
  echo("  3. Run 'zarn target list' to see all targets");
  echo(kSeparator);
}

}  // namespace zarn::migrate
