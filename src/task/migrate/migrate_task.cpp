#include "task/migrate/migrate_task.h"

#include <algorithm>

#include "host/host.h"
#include "os/files.h"
#include "os/home.h"
#include "text/printable.h"

namespace zarn::migrate {
namespace {

constexpr std::string_view kSeparator =
    "============================================================";

std::optional<std::filesystem::path> optional_path(const std::optional<std::string>& text) {
  if (!text || text->empty()) return std::nullopt;
  return std::filesystem::path(*text);
}

std::filesystem::path project_dir_or_cwd(const std::optional<std::string>& text) {
  if (!text || text->empty()) return std::filesystem::current_path();
  return *text;
}

bool all_succeeded(const std::vector<std::optional<MigrationResult>>& results) {
  return std::all_of(results.begin(), results.end(),
                     [](const auto& result) { return !result || result->success; });
}

}  // namespace

MigrateTask::MigrateTask(host::Host& host, std::optional<std::string> source_path_text,
                         bool profiles_only_flag, bool project_only_flag, bool full_flag,
                         bool dry_run_flag, std::optional<std::string> project_dir_text)
    : source_path(optional_path(source_path_text)),
      profiles_only(profiles_only_flag),
      project_only(project_only_flag),
      full(full_flag),
      dry_run(dry_run_flag),
      project_dir(project_dir_or_cwd(project_dir_text)),
      host_(host) {}

void MigrateTask::echo(std::string_view text) const {
  // Names read from files may hold control characters; shown escaped, they
  // can neither split the line nor drive the terminal. A leading line break
  // is the message's own empty line.
  const std::size_t own_breaks = text.starts_with('\n') ? 1 : 0;
  host_.echo(std::string(text.substr(0, own_breaks)) + text::printable(text.substr(own_breaks)));
}

std::filesystem::path MigrateTask::home_path(std::string_view folder, std::string_view file) const {
  return os::home_dir(host_.environment()) / folder / file;
}

bool MigrateTask::run() {
  const bool in_zarn_project = os::entry_exists(project_dir / "zarn_project.yml");
  if (in_zarn_project && source_path) return _import_pelk_project();
  if (in_zarn_project) {
    echo("You are inside a ZARN project.");
    echo("To import a pelk project, provide the path:");
    echo("  zarn migrate /path/to/pelk_project");
    return true;
  }
  return _convert_to_zarn();
}

bool MigrateTask::_convert_to_zarn() {
  std::vector<std::optional<MigrationResult>> results;
  if (profiles_only) {
    results.push_back(_migrate_profiles());
  } else if (project_only) {
    results.push_back(_migrate_project_file());
  } else if (full) {
    results.push_back(_migrate_profiles());
    results.push_back(_migrate_project_file());
  } else {
    results = _auto_detect_and_migrate();
  }
  _show_summary(results);
  return all_succeeded(results);
}

std::vector<std::optional<MigrationResult>> MigrateTask::_auto_detect_and_migrate() {
  std::vector<std::optional<MigrationResult>> results;
  echo("Detecting pelk configuration...");

  const bool has_pelk_profiles = os::entry_exists(home_path(".pelk", "profiles.yml"));
  const bool has_pelk_project = os::entry_exists(project_dir / "pelk_project.yml");
  if (has_pelk_profiles) echo("  Found ~/.pelk/profiles.yml");
  if (has_pelk_project) echo("  Found pelk_project.yml");

  if (!has_pelk_profiles && !has_pelk_project) {
    echo("\nNo pelk configuration found - nothing to migrate.");
    echo("Use 'zarn init' to create a new ZARN project.");
    return {MigrationResult{true, "Nothing to migrate"}};
  }

  echo("");
  if (has_pelk_profiles) {
    echo("Migrating profiles...");
    results.push_back(_migrate_profiles());
  }
  if (has_pelk_project) {
    echo("\nMigrating project...");
    results.push_back(_migrate_project_file());
  }
  return results;
}

void MigrateTask::_show_summary(const std::vector<std::optional<MigrationResult>>& results) {
  std::vector<std::string> successful;
  for (const auto& result : results) {
    if (result && result->success) successful.push_back(result->message);
  }
  if (successful.empty()) return;

  echo("");
  echo(kSeparator);
  echo("Migration complete!");
  echo(kSeparator);
  for (const auto& message : successful) echo("  " + message);
  echo("");
  echo("Your pelk configuration has been preserved as backups.");
  echo("Run 'zarn target list' to verify your connections.");
  echo(kSeparator);
}

}  // namespace zarn::migrate
