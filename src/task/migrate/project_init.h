#pragma once

#include <filesystem>
#include <string>

#include "host/host.h"

namespace zarn::migrate {

/// What `zarn init` is asked for.
struct InitSettings {
  std::string name;                    ///< of the project, its folder and its profile
  std::filesystem::path profiles_dir;  ///< holds profiles.yml; empty: ~/.zarn
  std::filesystem::path parent_dir;    ///< where the folder is made; empty: the working folder
};

/// What an init made.
struct NewProject {
  std::filesystem::path profiles_file;
  bool profile_added = false;  ///< false: a profile of that name was there and stays as it was
};

/// Creates the project folder `name` in parent_dir (or takes an empty
/// one of that name), fills it from the template, with its source folders and
/// flatfiles/, and adds a profile of the same name to profiles.yml. Throws,
/// naming the name or path, on a name that is not one plain folder name, on a
/// folder that is not empty, and on any failure to write; the project folder
/// is then left as it was found.
NewProject create_project(host::Host& host, const InitSettings& settings);

}  // namespace zarn::migrate
