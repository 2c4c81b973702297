#include <memory>

#include "cli/commands.h"
#include "task/migrate/migrate_task.h"

namespace zarn::cli {
namespace {

struct MigrateOptions {
  std::string source_path;
  bool profiles_only = false;
  bool project_only = false;
  bool full = false;
  bool dry_run = false;
  std::string project_dir;
};

}  // namespace

void add_migrate_command(CLI::App& app, host::ExecutableHost& host, Action& action) {
  auto options = std::make_shared<MigrateOptions>();
  CLI::App* command = app.add_subcommand(
      "migrate",
      "Bring a PELK setup over: outside a ZARN project convert it in place; inside one, "
      "import the PELK project at SOURCE_PATH");
  command->add_option("SOURCE_PATH", options->source_path, "PELK project to import (Mode B)");
  command->add_flag("--profiles-only", options->profiles_only, "Migrate only the profile");
  command->add_flag("--project-only", options->project_only, "Migrate only the project file");
  command->add_flag("--full", options->full, "Migrate profile and project file, no detection");
  command->add_flag("--dry-run", options->dry_run, "Show what would be done, change nothing");
  command->add_option("--project-dir", options->project_dir,
                      "Project folder (default: the current folder)");
  command->callback([&host, &action, options] {
    action = [&host, options] {
      migrate::MigrateTask task(
          host, migrate::settings_from_arguments(options->source_path, options->profiles_only,
                                                 options->project_only, options->full,
                                                 options->dry_run, options->project_dir));
      return exit_status_of(task.run());
    };
  });
}

}  // namespace zarn::cli
