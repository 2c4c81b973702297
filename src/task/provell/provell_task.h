#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "host/host.h"
#include "yaml/node.h"

namespace zarn::net {
class TransferEngine;
}

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

/// How the driver sync uses the per-user driver cache.
enum class CacheUse {
  kOn,       ///< read it, and fill it with what is fetched
  kOffline,  ///< read it only, and make no request
  kOff,      ///< neither read nor fill it
};

/// How the driver sync uses the network; read when the first request starts.
struct TransferSettings {
  /// Transfers at once; 1 fetches one file at a time, in the order of the report.
  std::size_t jobs = 8;
  /// No byte, or under 1 KiB/s, for this long fails a descriptor or an archive.
  std::chrono::seconds descriptor_timeout{10};
  std::chrono::seconds archive_timeout{60};
  /// Archives one sync may bring: far above any real driver's tree (a few
  /// hundred), low enough that a hostile descriptor cannot fill the disk.
  std::size_t max_archives = 50000;
  /// The largest archive taken (the largest drivers are a few hundred MB).
  std::uint64_t max_archive_bytes = std::uint64_t{1} << 30;
  CacheUse cache = CacheUse::kOn;
  /// Archives from the cache are hard links where the file system allows; off, copies.
  bool link_from_cache = true;
  /// Transfers at once over a multiplexed (HTTP/2) connection, when jobs > 1.
  std::size_t streams = 64;
};

class SyncCache;

/// Package names that went through, and those that failed.
using PackageOutcome = std::pair<std::vector<std::string>, std::vector<std::string>>;

/// Task for synchronizing adapters and JARs based on profiles.yml connections.
class ProvellTask {
 public:
  ProvellTask(host::Host& host, std::optional<std::string> project_dir = std::nullopt,
              std::optional<std::string> profiles_dir = std::nullopt,
              std::optional<std::string> profile_name = std::nullopt);
  ~ProvellTask();
  ProvellTask(const ProvellTask&) = delete;
  ProvellTask& operator=(const ProvellTask&) = delete;

  // Connection inventory.
  std::optional<std::string> _get_profile_name();
  yaml::Node _load_profiles();
  ConnectionInventory get_connections_info();
  std::set<std::string> get_required_adapter_types();

  // Adapter packages.
  std::set<std::string> get_installed_adapters();
  PackageOutcome install_adapters(const std::set<std::string>& adapter_types, bool verbose = true);
  PackageOutcome uninstall_adapters(const std::set<std::string>& adapter_types,
                                    bool verbose = true);

  // Maven coordinates and transitive resolution.
  std::pair<std::string, std::string> _maven_coord_to_url(const std::string& coord) const;
  std::set<std::string> _resolve_transitive_deps(const std::string& coord);
  void _resolve_transitive_deps(const std::string& coord, std::set<std::string>& resolved,
                                int depth);

  // Driver download and registry update.
  std::pair<std::vector<std::string>, std::vector<std::string>> download_jdbc_jars(
      const std::set<std::string>& adapter_types, bool verbose = true);
  bool _download_jar(const std::string& url, const std::filesystem::path& dest_path,
                     bool verbose = true);
  /// Lists the drivers and clears the compute settings that named them; needs
  /// no adapter types (the plug-in still takes them, as its interface fixes).
  bool update_jdbc_jars(bool verbose = true);

  /// The entry operation of `zarn target sync`.
  bool sync(bool verbose = true, bool clean = false, bool dry_run = false);

  const std::string project_dir;
  const std::string profiles_dir;
  const std::optional<std::string> profile_name;
  const std::unique_ptr<host::ComputeRegistry> compute_registry;
  TransferSettings transfers;

 private:
  class Descriptors;  ///< descriptors of one resolution, fetched ahead of the walk
  void print(std::string_view line) const { host_.echo(line); }
  net::TransferEngine& engine();
  /// Told of a coordinate as the walk reaches it.
  using CoordinateHook = std::function<void(const std::string&)>;
  /// The union of the resolutions of coords, sharing their descriptors;
  /// on_resolved hears each coordinate as the walk reaches it.
  std::set<std::string> resolve_all(const std::set<std::string>& coords,
                                    const CoordinateHook& on_resolved = {});
  void walk(const std::string& coord, std::set<std::string>& resolved, int depth,
            Descriptors& descriptors);

  host::Host& host_;
  std::unique_ptr<SyncCache> cache_;             ///< open while a download or a resolution runs
  std::string cache_summary_;                    ///< told at the end of a sync
  std::unique_ptr<net::TransferEngine> engine_;  ///< kept-alive connections for the whole run
  std::size_t descriptors_fetched_ = 0;          ///< for the live progress line
  bool told_project_file_unusable_ = false;      ///< said once per task, not per look-up
};

}  // namespace zarn::provell
