#pragma once

#include <filesystem>
#include <string>

#include "yaml/node.h"

namespace zarn::migrate {

/// Parses a YAML file; parse errors name the file, line and column.
yaml::Node load_yaml_file(const std::filesystem::path& path);

/// A file whose top level must be a mapping, where an empty document (or a
/// null, false, zero or empty value) counts as an empty mapping. Any other
/// top level is an error naming the file.
yaml::Node load_mapping_or_empty(const std::filesystem::path& path);

/// A project file whose top level must be a mapping; an empty document is an
/// error naming the file.
yaml::Node load_project_mapping(const std::filesystem::path& path);

/// The entry naming the project's profile: the value under `profile`, else
/// under `name`, else none. A key that is present decides, whatever its value.
const yaml::Node* profile_entry(const yaml::Node& project);

/// The project's profile: the value of profile_entry, else null.
yaml::Node profile_key_of(const yaml::Node& project);

/// The profile of the ZARN project file at path. A file that names none is
/// rejected: its targets would land under a null profile name no tool can use.
yaml::Node zarn_project_profile(const std::filesystem::path& path);

/// Throws, naming the file and what the value is, unless value is a mapping.
void require_mapping(const yaml::Node& value, const std::string& what,
                     const std::filesystem::path& file);

/// A profile with no targets yet: `target` "dev" and empty `outputs`.
yaml::Node new_zarn_profile();

/// Replaces the ZARN profiles file with the header and the sorted block dump.
/// The write goes through a temporary file, so a failure leaves the old file;
/// a new file is readable by its owner only, since it holds credentials.
void write_profiles_file(const std::filesystem::path& path, const yaml::Node& profiles);

}  // namespace zarn::migrate
