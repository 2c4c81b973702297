#include "task/migrate/project_init.h"

#include <fmt/format.h>

#include <optional>
#include <stdexcept>
#include <string_view>

#include "host/lock_waiting.h"
#include "os/atomic_file.h"
#include "os/file_lock.h"
#include "os/files.h"
#include "os/folder_name.h"
#include "os/home.h"
#include "task/migrate/project_template.h"
#include "task/migrate/yaml_files.h"
#include "text/printable.h"

namespace zarn::migrate {
namespace {

namespace fs = std::filesystem;

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
  FolderRollback(fs::path folder, bool created) : folder_(std::move(folder)), created_(created) {}
  ~FolderRollback() {
    if (kept_) return;
    std::error_code ignored;
    if (created_) {
      fs::remove_all(folder_, ignored);
      return;
    }
    for (fs::directory_iterator it(folder_, ignored), end; !ignored && it != end;
         it.increment(ignored)) {
      fs::remove_all(it->path(), ignored);
    }
  }
  FolderRollback(const FolderRollback&) = delete;
  FolderRollback& operator=(const FolderRollback&) = delete;
  void keep() { kept_ = true; }

 private:
  fs::path folder_;
  bool created_;
  bool kept_ = false;
};

/// Creates the project folder, or takes an empty one; returns whether it was created.
bool claim_project_folder(const fs::path& folder) {
  std::error_code error;
  const auto status = fs::symlink_status(folder, error);
  if (!fs::exists(status)) {
    os::create_folder(folder);
    return true;
  }
  if (fs::is_directory(status) && fs::is_empty(folder, error) && !error) return false;
  throw std::runtime_error(fmt::format("{} already exists and is not an empty folder",
                                       text::printable(folder.string())));
}

/// Fills the existing folder with a fresh project named name (its profile of
/// the same name): zarn_project.yml from the template, the source folders,
/// and flatfiles/ with its .gitignore.
void write_new_project(const fs::path& folder, const std::string& name) {
  os::write_file_atomic(folder / "zarn_project.yml", render_project_template(name, name));
  for (const std::string_view source : kSourceFolders) os::create_folder(folder / source);
  os::create_folder(folder / "flatfiles");
  os::write_file_atomic(folder / "flatfiles" / ".gitignore", kFlatfilesGitignore);
}

/// Adds the profile unless the file has one of that name; returns whether it did.
bool add_profile(host::Host& host, const fs::path& profiles_file, const std::string& name) {
  // Another zarn may be rewriting the same file: read and write under its lock.
  const os::FolderLock lock(os::written_file(profiles_file).parent_path(), host::waiting_of(host));
  yaml::Node profiles = os::entry_exists(profiles_file) ? load_mapping_or_empty(profiles_file)
                                                        : yaml::Node::mapping();
  if (profiles.contains(name)) return false;
  profiles.set(name, new_zarn_profile());
  host::throw_if_interrupted(host);
  write_profiles_file(profiles_file, profiles);
  return true;
}

}  // namespace

NewProject create_project(host::Host& host, const InitSettings& settings) {
  const std::string& name = settings.name;
  require_folder_name(name);
  const fs::path profiles_dir = settings.profiles_dir.empty()
                                    ? os::home_dir(host.environment()) / ".zarn"
                                    : settings.profiles_dir;
  const fs::path folder = settings.parent_dir.empty() ? fs::path(name) : settings.parent_dir / name;

  FolderRollback rollback(folder, claim_project_folder(folder));
  write_new_project(folder, name);
  os::create_folders(profiles_dir);
  NewProject made{profiles_dir / "profiles.yml", false};
  made.profile_added = add_profile(host, made.profiles_file, name);
  rollback.keep();
  return made;
}

}  // namespace zarn::migrate
