#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>

#include "host/host.h"
#include "task/provell/connection_listing.h"
#include "task/provell/inventory.h"
#include "task/provell/outcome.h"
#include "task/provell/settings.h"
#include "task/provell/transfers.h"
#include "yaml/node.h"

namespace zarn::provell {

/// Task for synchronizing adapters and JARs based on profiles.yml connections.
///
/// The operations the plug-in exposes, each a call into the module of its
/// concept: inventory (profiles and connections), adapters (packages),
/// coordinates and resolve (Maven), download and jar_update (drivers and the
/// compute registry), sync (the driver of `zarn target sync`).
class ProvellTask {
 public:
  ProvellTask(host::Host& host, const std::optional<std::string>& project_dir = std::nullopt,
              const std::optional<std::string>& profiles_dir = std::nullopt,
              std::optional<std::string> profile_name = std::nullopt,
              TransferSettings settings = {});
  ~ProvellTask();
  ProvellTask(const ProvellTask&) = delete;
  ProvellTask& operator=(const ProvellTask&) = delete;

  // Connection inventory.
  std::optional<std::string> _get_profile_name() { return profiles_.profile_name(); }
  yaml::Node _load_profiles() { return profiles_.load_profiles(); }
  ConnectionInventory get_connections_info() { return profiles_.inventory().connections; }
  std::set<std::string> get_required_adapter_types() {
    return profiles_.inventory().adapter_types();
  }

  // Adapter packages.
  std::set<std::string> get_installed_adapters();
  Outcome install_adapters(const std::set<std::string>& adapter_types, bool verbose = true);
  Outcome uninstall_adapters(const std::set<std::string>& adapter_types, bool verbose = true);

  // Maven coordinates and transitive resolution.
  std::pair<std::string, std::string> _maven_coord_to_url(const std::string& coord) const {
    return transfers_.archive_of(coord);
  }
  std::set<std::string> _resolve_transitive_deps(const std::string& coord);
  void _resolve_transitive_deps(const std::string& coord, std::set<std::string>& resolved,
                                int depth);

  // Driver download and registry update.
  Outcome download_jdbc_jars(const std::set<std::string>& adapter_types, bool verbose = true);
  bool _download_jar(const std::string& url, const std::filesystem::path& dest_path,
                     bool verbose = true);
  /// Lists the drivers and clears the compute settings that named them; needs
  /// no adapter types (the plug-in still takes them, as its interface fixes).
  bool update_jdbc_jars(bool verbose = true);

  /// `zarn target list`: the connections a sync would work on, the profile
  /// file read once; throws PelkRuntimeError when it cannot be read.
  ConnectionListing list_connections();

  /// The entry operation of `zarn target sync`: false, after "✗ Error: ...",
  /// when the profile cannot be read.
  bool sync(bool verbose = true, bool clean = false, bool dry_run = false);

  const std::string project_dir;
  const std::string profiles_dir;
  const std::optional<std::string> profile_name;
  const std::unique_ptr<host::ComputeRegistry> compute_registry;

 private:
  host::Host& host_;
  ProfileSource profiles_;
  Transfers transfers_;
};

}  // namespace zarn::provell
