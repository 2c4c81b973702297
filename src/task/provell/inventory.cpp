#include "task/provell/inventory.h"

#include <exception>
#include <stdexcept>
#include <unordered_map>
#include <utility>

#include "host/errors.h"
#include "os/files.h"
#include "os/interrupt.h"
#include "yaml/top_level.h"

namespace zarn::provell {
namespace {

/// The value under key when it is a mapping; anything else counts as absent.
const yaml::Node* mapping_under(const yaml::Node& mapping, std::string_view key) {
  const yaml::Node* value = mapping.find(key);
  return value && value->is_mapping() ? value : nullptr;
}

/// The inventory in insertion order; a repeated name keeps its first place
/// and takes the later record, as a dictionary would.
class InventoryBuilder {
 public:
  void put(Connection connection) {
    const auto [slot, inserted] = index_.try_emplace(connection.name, inventory_.size());
    if (inserted) {
      inventory_.push_back(std::move(connection));
    } else {
      inventory_[slot->second] = std::move(connection);
    }
  }
  ConnectionInventory take() { return std::move(inventory_); }

 private:
  ConnectionInventory inventory_;
  std::unordered_map<std::string, std::size_t> index_;
};

/// Adds the typed targets of one profile; targets and outputs that are not
/// mappings, and targets without a type, are left out.
void add_targets(InventoryBuilder& builder, const yaml::Node& profile,
                 const std::string& profile_name, bool prefixed) {
  if (!profile.is_mapping()) return;
  const yaml::Node* outputs = mapping_under(profile, "outputs");
  if (outputs == nullptr) return;
  for (const auto& [target_name, target] : outputs->entries()) {
    if (!target.is_mapping()) continue;
    const yaml::Node* type = target.find("type");
    if (type == nullptr || !type->truthy()) continue;
    std::string name = prefixed ? profile_name + "." + target_name.str() : target_name.str();
    builder.put(Connection(std::move(name), *type, profile_name));
  }
}

/// Why a project file names no profile: the reason, with the file when it does not say it.
std::string unusable_project_file(const std::filesystem::path& file, const std::string& reason) {
  const std::string where =
      reason.find(file.string()) == std::string::npos ? file.string() + ": " + reason : reason;
  return "cannot read the profile from " + where + "; using every profile";
}

}  // namespace

std::optional<std::string> ProfileSource::profile_name() {
  if (auto given = named(location_.profile_name)) return given;
  const std::filesystem::path project_file =
      std::filesystem::path(location_.project_dir) / "pelk_project.yml";
  if (!os::entry_exists(project_file)) return std::nullopt;
  // A project file that cannot be used names no profile; all profiles are scanned then.
  try {
    const yaml::Node project =
        host_.load_yaml_text(os::read_text_file(project_file), project_file.string());
    if (!project.is_mapping()) return std::nullopt;
    const yaml::Node* profile = project.find("profile");
    if (profile == nullptr || !profile->is_string()) return std::nullopt;
    return profile->as_string();
  } catch (const os::Interrupted&) {
    throw;
  } catch (const std::exception& error) {
    if (!std::exchange(told_project_file_unusable_, true)) {
      host_.notice(unusable_project_file(project_file, error.what()));
    }
    return std::nullopt;
  }
}

yaml::Node ProfileSource::load_profiles() {
  const std::filesystem::path profiles_path =
      std::filesystem::path(location_.profiles_dir) / "profiles.yml";
  std::error_code error;
  if (!std::filesystem::exists(profiles_path, error) && !error) {
    throw host::PelkRuntimeError("profiles.yml not found at " + profiles_path.string() +
                                 "\nCreate it with: zarn init <project_name>");
  }
  try {
    const yaml::Node profiles =
        host_.load_yaml_text(os::read_text_file(profiles_path), profiles_path.string());
    if (auto mapping = yaml::top_level_mapping(profiles, yaml::EmptyDocument::kFalsy)) {
      return *mapping;
    }
    throw std::runtime_error(profiles_path.string() + ": the top level is " +
                             std::string(yaml::kind_name(profiles.kind())) +
                             ", not a mapping of profile names");
  } catch (const os::Interrupted&) {
    throw;
  } catch (const std::exception& cause) {
    throw host::PelkRuntimeError("Failed to load profiles.yml: " + std::string(cause.what()),
                                 std::current_exception());
  }
}

Inventory ProfileSource::inventory() {
  Inventory inventory;
  inventory.profiles = load_profiles();
  inventory.chosen = named(profile_name());
  InventoryBuilder builder;
  if (inventory.chosen) {
    if (const yaml::Node* profile = inventory.profiles.find(*inventory.chosen)) {
      inventory.one_profile = true;
      add_targets(builder, *profile, *inventory.chosen, false);
    }
  }
  if (!inventory.one_profile) {
    for (const auto& [name, profile] : inventory.profiles.entries()) {
      add_targets(builder, profile, name.str(), true);
    }
  }
  inventory.connections = builder.take();
  return inventory;
}

std::set<std::string> Inventory::adapter_types() const {
  std::set<std::string> types;
  for (const Connection& connection : connections) types.insert(connection.type_text());
  return types;
}

}  // namespace zarn::provell
