#include "task/migrate/import_summary.h"

#include <algorithm>
#include <cctype>

#include "task/migrate/report_lines.h"

namespace zarn::migrate {
namespace {

std::string capitalized(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  if (!text.empty()) text[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(text[0])));
  return text;
}

}  // namespace

void show_import_summary(const MigrateContext& context, const std::string& source_name,
                         const std::vector<std::string>& copied_folders) {
  if (context.dry_run()) {
    context.echo("");
    context.echo("No changes made (dry run).");
    return;
  }
  context.echo("");
  context.echo(kSeparator);
  context.echo("Import complete!");
  context.echo(kSeparator);
  context.echo("  Project: " + source_name);
  for (const std::string& folder : copied_folders) {
    context.echo("  " + capitalized(folder) + ": " + folder + "/" + source_name + "/");
  }
  context.echo("");
  context.echo("Next steps:");
  const std::string first_dir =
      copied_folders.empty() ? "models"
                             : copied_folders.front().substr(0, copied_folders.front().find('/'));
  context.echo("  1. Review " + first_dir + "/" + source_name + "/ for ref() adjustments");
  context.echo("  2. Update zarn_project.yml if needed");
  context.echo("  3. Run 'zarn target list' to see all targets");
  context.echo(kSeparator);
}

}  // namespace zarn::migrate
