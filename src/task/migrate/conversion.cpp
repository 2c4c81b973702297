#include "task/migrate/conversion.h"

#include <string>

#include "task/migrate/detection.h"
#include "task/migrate/profile_migration.h"
#include "task/migrate/project_file_migration.h"
#include "task/migrate/report_lines.h"

namespace zarn::migrate {

bool convert_to_zarn(const MigrateContext& context) {
  const MigrateSettings& settings = context.settings();
  MigrationResults results;
  if (settings.profiles_only) {
    results.push_back(migrate_profile(context));
  } else if (settings.project_only) {
    results.push_back(migrate_project_file(context));
  } else if (settings.full) {
    results.push_back(migrate_profile(context));
    results.push_back(migrate_project_file(context));
  } else {
    results = auto_detect_and_migrate(context);
  }
  show_summary(context, results);
  return all_succeeded(results);
}

MigrationResults auto_detect_and_migrate(const MigrateContext& context) {
  context.echo("Detecting pelk configuration...");
  const PelkFiles found = find_pelk_files(context);
  if (found.profiles) context.echo("  Found ~/.pelk/profiles.yml");
  if (found.project) context.echo("  Found pelk_project.yml");

  if (!found.profiles && !found.project) {
    context.echo("\nNo pelk configuration found - nothing to migrate.");
    context.echo("Use 'zarn init' to create a new ZARN project.");
    return {MigrationResult{true, "Nothing to migrate"}};
  }

  MigrationResults results;
  context.echo("");
  if (found.profiles) {
    context.echo("Migrating profiles...");
    results.push_back(migrate_profile(context));
  }
  if (found.project) {
    context.echo("\nMigrating project...");
    results.push_back(migrate_project_file(context));
  }
  return results;
}

void show_summary(const MigrateContext& context, const MigrationResults& results) {
  std::vector<std::string> successful;
  for (const auto& result : results) {
    if (result && result->success) successful.push_back(result->message);
  }
  if (successful.empty()) return;

  context.echo("");
  context.echo(kSeparator);
  context.echo("Migration complete!");
  context.echo(kSeparator);
  for (const auto& message : successful) context.echo("  " + message);
  context.echo("");
  context.echo("Your pelk configuration has been preserved as backups.");
  context.echo("Run 'zarn target list' to verify your connections.");
  context.echo(kSeparator);
}

}  // namespace zarn::migrate
