#include "task/provell/connection_listing.h"

#include <filesystem>

#include "task/provell/catalogue.h"

namespace zarn::provell {
namespace {

/// The value of the profile's `target` key, as text; empty when it has none.
std::string default_target_of(const yaml::Node& profiles, const std::string& profile_name) {
  for (const auto& [name, profile] : profiles.entries()) {
    if (name.str() != profile_name || !profile.is_mapping()) continue;
    const yaml::Node* target = profile.find("target");
    return target != nullptr ? target->str() : std::string();
  }
  return {};
}

}  // namespace

ConnectionListing list_connections(ProfileSource& profiles) {
  const Inventory inventory = profiles.inventory();
  ConnectionListing listing;
  listing.profiles_file =
      (std::filesystem::path(profiles.location().profiles_dir) / "profiles.yml").string();
  if (inventory.chosen && !inventory.one_profile) listing.missing_profile = inventory.chosen;
  for (const Connection& connection : inventory.connections) {
    // Names carry a "{profile}." prefix unless the sync picked one profile.
    const std::string target = inventory.one_profile
                                   ? connection.name
                                   : connection.name.substr(connection.profile.size() + 1);
    std::string type = connection.type_text();
    const auto package = lookup(ADAPTER_PACKAGE_MAPPING, type);
    listing.connections.push_back(
        {connection.name, std::move(type), connection.profile, package,
         target == default_target_of(inventory.profiles, connection.profile)});
  }
  return listing;
}

}  // namespace zarn::provell
