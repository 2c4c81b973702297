// `zarn init NAME`: a new project folder and a profile of the same name.

#include <fmt/format.h>
#include <fmt/ranges.h>

#include <algorithm>
#include <memory>
#include <stdexcept>
#include <string>

#include "cli/commands.h"
#include "host/host.h"
#include "host/lock_waiting.h"
#include "os/file_lock.h"
#include "os/files.h"
#include "os/folder_name.h"
#include "os/home.h"
#include "task/migrate/project_template.h"
#include "task/migrate/yaml_files.h"
#include "text/printable.h"

namespace zarn::cli {
namespace {

struct InitOptions {
  std::string name;
  std::string profiles_dir;
};

/// Throws unless name can be one folder in the current folder.
void require_folder_name(const std::string& name) {
  const std::optional<std::string_view> problem = os::folder_name_problem(name);
  if (!problem) return;
  throw std::runtime_error(
      fmt::format("'{}' is not a valid project folder name: {}", text::printable(name), *problem));
}

/// Puts a folder back as it was found, absent or empty, unless kept.
class FolderRollback {
 public:
  FolderRollback(std::filesystem::path folder, bool created)
      : folder_(std::move(folder)), created_(created) {}
  ~FolderRollback() {
    if (kept_) return;
    std::error_code ignored;
    if (created_) {
      std::filesystem::remove_all(folder_, ignored);
      return;
    }
    for (std::filesystem::directory_iterator it(folder_, ignored), end; !ignored && it != end;
         it.increment(ignored)) {
      std::filesystem::remove_all(it->path(), ignored);
    }
  }
  FolderRollback(const FolderRollback&) = delete;
  FolderRollback& operator=(const FolderRollback&) = delete;
  void keep() { kept_ = true; }

 private:
  std::filesystem::path folder_;
  bool created_;
  bool kept_ = false;
};

/// Creates the project folder, or takes an empty one; returns whether it was created.
bool claim_project_folder(const std::filesystem::path& folder) {
  std::error_code error;
  const auto status = std::filesystem::symlink_status(folder, error);
  if (!std::filesystem::exists(status)) {
    os::create_folder(folder);
    return true;
  }
  if (std::filesystem::is_directory(status) && std::filesystem::is_empty(folder, error) && !error) {
    return false;
  }
  throw std::runtime_error(fmt::format("{} already exists and is not an empty folder",
                                       text::printable(folder.string())));
}

yaml::Node new_profile() {
  return yaml::Node::mapping({{yaml::Node::string("target"), yaml::Node::string("dev")},
                              {yaml::Node::string("outputs"), yaml::Node::mapping()}});
}

/// Adds the profile unless the file has one of that name; returns whether it did.
bool add_profile(host::Host& host, const std::filesystem::path& profiles_file,
                 const std::string& name) {
  // Another zarn may be rewriting the same file: read and write under its lock.
  const os::FolderLock lock(os::written_file(profiles_file).parent_path(), host::waiting_of(host));
  yaml::Node profiles = os::entry_exists(profiles_file)
                            ? migrate::load_mapping_or_empty(profiles_file)
                            : yaml::Node::mapping();
  if (profiles.contains(name)) return false;
  profiles.set(name, new_profile());
  migrate::write_profiles_file(profiles_file, profiles);
  return true;
}

ExitStatus init_project(host::ExecutableHost& host, const InitOptions& options) {
  const std::string& name = options.name;
  require_folder_name(name);
  const std::filesystem::path profiles_dir = options.profiles_dir.empty()
                                                 ? os::home_dir(host.environment()) / ".zarn"
                                                 : std::filesystem::path(options.profiles_dir);
  const std::filesystem::path profiles_file = profiles_dir / "profiles.yml";
  const std::filesystem::path folder(name);

  FolderRollback rollback(folder, claim_project_folder(folder));
  migrate::write_new_project(folder, name);
  os::create_folders(profiles_dir);
  const bool added = add_profile(host, profiles_file, name);
  rollback.keep();

  const terminal::Printer& printer = host.printer();
  printer.line(fmt::format("Created project '{}' in {}/", name, name));
  printer.line(fmt::format("  zarn_project.yml, {}/, flatfiles/",
                           fmt::join(migrate::kSourceFolders, "/, ")));
  if (added) {
    printer.line(
        fmt::format("Added profile '{}' (target: dev) to {}", name, profiles_file.string()));
  } else {
    printer.line(fmt::format("Profile '{}' already exists in {} - left as it is", name,
                             profiles_file.string()));
  }
  printer.line(fmt::format(
      "Next: add a connection under '{}: outputs:' in {}, then run 'zarn target sync' in {}/", name,
      profiles_file.string(), name));
  return kExitSuccess;
}

}  // namespace

void add_init_command(CLI::App& app, host::ExecutableHost& host, Action& action) {
  auto options = std::make_shared<InitOptions>();
  CLI::App* command = app.add_subcommand(
      "init", "Create a ZARN project folder NAME and a profile NAME in profiles.yml");
  command->add_option("NAME", options->name, "Name of the project and of its folder")->required();
  command->add_option("--profiles-dir", options->profiles_dir,
                      "Folder holding profiles.yml (default: ~/.zarn)");
  command->callback([&host, &action, options] {
    action = [&host, options] { return init_project(host, *options); };
  });
}

}  // namespace zarn::cli
