// `zarn init NAME`: a new project folder and a profile of the same name.

#include <fmt/format.h>
#include <fmt/ranges.h>

#include <memory>
#include <string>

#include "cli/commands.h"
#include "task/migrate/project_init.h"
#include "task/migrate/project_template.h"

namespace zarn::cli {
namespace {

void report(const terminal::Printer& printer, const std::string& name,
            const migrate::NewProject& made) {
  const std::string profiles_file = made.profiles_file.string();
  printer.line(fmt::format("Created project '{}' in {}/", name, name));
  printer.line(fmt::format("  zarn_project.yml, {}/, flatfiles/",
                           fmt::join(migrate::kSourceFolders, "/, ")));
  if (made.profile_added) {
    printer.line(fmt::format("Added profile '{}' (target: dev) to {}", name, profiles_file));
  } else {
    printer.line(
        fmt::format("Profile '{}' already exists in {} - left as it is", name, profiles_file));
  }
  printer.line(fmt::format(
      "Next: add a connection under '{}: outputs:' in {}, then run 'zarn target sync' in {}/", name,
      profiles_file, name));
}

}  // namespace

void add_init_command(CLI::App& app, host::ExecutableHost& host, Action& action) {
  auto settings = std::make_shared<migrate::InitSettings>();
  auto profiles_dir = std::make_shared<std::string>();
  CLI::App* command = app.add_subcommand(
      "init", "Create a ZARN project folder NAME and a profile NAME in profiles.yml");
  command->add_option("NAME", settings->name, "Name of the project and of its folder")->required();
  command->add_option("--profiles-dir", *profiles_dir,
                      "Folder holding profiles.yml (default: ~/.zarn)");
  command->callback([&host, &action, settings, profiles_dir] {
    action = [&host, settings, profiles_dir] {
      settings->profiles_dir = *profiles_dir;
      report(host.printer(), settings->name, migrate::create_project(host, *settings));
      return kExitSuccess;
    };
  });
}

}  // namespace zarn::cli
