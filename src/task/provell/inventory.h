#pragma once

#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "host/host.h"
#include "yaml/node.h"

namespace zarn::provell {

/// One entry of the connection inventory.
struct Connection {
  Connection(std::string name_text, yaml::Node type_value, std::string profile_text)
      : name(std::move(name_text)), type(std::move(type_value)), profile(std::move(profile_text)) {}
  Connection(std::string name_text, std::string type_text, std::string profile_text)
      : Connection(std::move(name_text), yaml::Node::string(std::move(type_text)),
                   std::move(profile_text)) {}

  std::string name;     ///< target name, or "{profile}.{target}" when all profiles are scanned
  yaml::Node type;      ///< the target's "type" as read
  std::string profile;  ///< the profile the target belongs to

  /// The type's text form, by which reports sort and the catalogues look it up.
  std::string type_text() const { return type.str(); }

  friend bool operator==(const Connection&, const Connection&) = default;
};

/// The connection inventory, in file order.
using ConnectionInventory = std::vector<Connection>;

/// Where the sync finds the profile: the project folder (its pelk_project.yml
/// may name the profile), the folder of profiles.yml, and the profile the
/// caller named, if any.
struct ProfileLocation {
  std::string project_dir;
  std::string profiles_dir;
  std::optional<std::string> profile_name;
};

/// A profile name that names one: absent and empty alike name none.
inline std::optional<std::string> named(std::optional<std::string> name) {
  if (name && name->empty()) return std::nullopt;
  return name;
}

/// The profiles file and the project file read once, and what they say.
struct Inventory {
  yaml::Node profiles;                ///< the whole profiles file
  std::optional<std::string> chosen;  ///< the profile named, by the caller or the project file
  bool one_profile = false;           ///< chosen is in the file: only its targets are taken
  ConnectionInventory connections;

  /// The adapter types the connections need.
  std::set<std::string> adapter_types() const;
};

/// Reads the profile of a location; nothing is kept between reads but
/// whether an unusable project file was said already.
class ProfileSource {
 public:
  ProfileSource(host::Host& host, ProfileLocation location)
      : host_(host), location_(std::move(location)) {}

  const ProfileLocation& location() const { return location_; }

  /// The caller's profile name, else the project file's "profile" text, else none.
  std::optional<std::string> profile_name();
  /// The profiles file as a mapping (empty for an empty document); throws
  /// PelkRuntimeError when it is missing or unusable.
  yaml::Node load_profiles();
  /// Each file read once: the profiles, the profile chosen and its connections.
  Inventory inventory();

 private:
  host::Host& host_;
  const ProfileLocation location_;
  bool told_project_file_unusable_ = false;  ///< said once per task, not per look-up
};

}  // namespace zarn::provell
