#include "task/migrate/yaml_files.h"

#include <stdexcept>

#include "os/atomic_file.h"
#include "os/file_lock.h"
#include "os/files.h"
#include "text/printable.h"
#include "yaml/dump.h"
#include "yaml/load.h"
#include "yaml/top_level.h"

namespace zarn::migrate {
namespace {

constexpr std::string_view kProfilesHeader = "# ZARN Profiles Configuration\n\n";

/// Scalars of every kind are one "single value" to the user here.
std::string kind_name(const yaml::Node& value) {
  const bool collection = value.is_null() || value.is_mapping() || value.is_sequence();
  return collection ? std::string(yaml::kind_name(value.kind())) : "a single value";
}

[[noreturn]] void not_a_mapping(const std::filesystem::path& path, const yaml::Node& value) {
  throw std::runtime_error(path.string() + ": expected a mapping at the top level, found " +
                           kind_name(value));
}

}  // namespace

yaml::Node load_yaml_file(const std::filesystem::path& path) {
  return yaml::load(os::read_text_file(path), path.string());
}

yaml::Node load_mapping_or_empty(const std::filesystem::path& path) {
  const yaml::Node document = load_yaml_file(path);
  if (auto mapping = yaml::top_level_mapping(document, yaml::EmptyDocument::kFalsy)) {
    return *mapping;
  }
  not_a_mapping(path, document);
}

yaml::Node load_project_mapping(const std::filesystem::path& path) {
  yaml::Node document = load_yaml_file(path);
  if (!document.is_mapping()) not_a_mapping(path, document);
  return document;
}

const yaml::Node* profile_entry(const yaml::Node& project) {
  if (const yaml::Node* profile = project.find("profile")) return profile;
  return project.find("name");
}

yaml::Node profile_key_of(const yaml::Node& project) {
  const yaml::Node* entry = profile_entry(project);
  return entry != nullptr ? *entry : yaml::Node();
}

yaml::Node zarn_project_profile(const std::filesystem::path& path) {
  yaml::Node profile = profile_key_of(load_project_mapping(path));
  if (profile.is_null()) {
    throw std::runtime_error(path.string() +
                             ": names no profile; add 'profile: <name>' to zarn_project.yml");
  }
  return profile;
}

void require_mapping(const yaml::Node& value, const std::string& what,
                     const std::filesystem::path& file) {
  if (value.is_mapping()) return;
  // what may name a profile read from the file: shown escaped, like every name.
  throw std::runtime_error(file.string() + ": " + text::printable(what) + " is " +
                           kind_name(value) + ", expected a mapping");
}

yaml::Node new_zarn_profile() {
  return yaml::Node::mapping({{yaml::Node::string("target"), yaml::Node::string("dev")},
                              {yaml::Node::string("outputs"), yaml::Node::mapping()}});
}

void write_profiles_file(const std::filesystem::path& path, const yaml::Node& profiles) {
  std::string content(kProfilesHeader);
  content += yaml::dump(profiles);
  // A profiles file that links elsewhere (a dotfiles checkout) is replaced
  // where it lives, so the link stays.
  os::write_file_atomic(os::written_file(path), content,
                        std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
}

}  // namespace zarn::migrate
