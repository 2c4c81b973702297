#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "task/provell/inventory.h"

namespace zarn::provell {

/// One connection as `zarn target list` shows it.
struct ListedConnection {
  std::string name;
  std::string type;
  std::string profile;
  std::optional<std::string_view> package;  ///< absent for a type without one
  bool default_target = false;              ///< the profile's `target`

  friend bool operator==(const ListedConnection&, const ListedConnection&) = default;
};

/// The connections a sync would work on, in file order.
struct ConnectionListing {
  std::string profiles_file;
  /// A profile named (by the caller or the project file) that the profiles
  /// file lacks: every profile is listed then.
  std::optional<std::string> missing_profile;
  std::vector<ListedConnection> connections;
};

/// Reads the profile once; throws PelkRuntimeError when it cannot be read.
ConnectionListing list_connections(ProfileSource& profiles);

}  // namespace zarn::provell
