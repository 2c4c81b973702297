#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>

#include "cache/driver_cache.h"
#include "host/host.h"
#include "net/verified_download.h"
#include "task/provell/settings.h"
#include "task/provell/transfers.h"

namespace zarn::provell {

/// Why an item of an offline sync fails.
inline constexpr std::string_view kNotInCache =
    "not in the cache (run without --offline to fetch it)";

/// The per-user driver cache as one sync uses it, by coordinate. Releases
/// are kept for good; a -SNAPSHOT version changes in its repository, so it
/// is never read from the cache nor kept in it. Trouble with the cache is
/// told once on standard error and the sync goes on without it.
class SyncCache {
 public:
  SyncCache(host::Host& host, const TransferSettings& settings);

  bool offline() const { return use_ == CacheUse::kOffline; }

  /// Whether coord's archive is in the cache, whole.
  bool has_archive(const std::string& coord) const;
  /// Puts coord's cached archive at dest; false when the cache has none.
  bool place_archive(const std::string& coord, const std::filesystem::path& dest);
  /// Keeps the verified archive just stored at dest.
  void keep_archive(const std::string& coord, const std::filesystem::path& dest,
                    std::string_view sha1, std::uint64_t size);

  /// coord's cached descriptor when it still parses (one that does not is
  /// dropped); offline, a missing one is remembered for the report.
  std::optional<std::string> descriptor(const std::string& coord);
  /// Keeps a descriptor that parsed.
  void keep_descriptor(const std::string& coord, std::string_view body);
  /// Whether the repository answered earlier that it has no descriptor for coord.
  bool descriptor_absent(const std::string& coord) const;
  /// Keeps the answer of a descriptor request that failed, when the
  /// repository said it has none (404, 410).
  void descriptor_failed(const std::string& coord, const std::exception_ptr& error);
  /// Whether an offline sync lacked coord's descriptor.
  bool descriptor_missing(const std::string& coord) const {
    return missing_descriptors_.contains(coord);
  }

  /// The line for standard error once placed archives went into the
  /// project: "{n} of {placed} archives from the cache ({folder})", or ""
  /// when none came from the cache.
  std::string summary(std::size_t placed) const;

 private:
  void tell(const std::exception& error);

  host::Host& host_;
  const CacheUse use_;
  const bool allow_links_;
  std::optional<cache::DriverCache> cache_;
  std::string folder_text_;
  std::string repository_;  ///< the one whose missing descriptors count
  std::size_t archives_taken_ = 0;
  std::set<std::string> missing_descriptors_;
  bool told_ = false;
};

/// Puts coord's archive at download.dest: from the cache when it holds it,
/// else fetched (offline: fails with kNotInCache), and a fetch whose
/// checksum matched is kept in the cache. Without a cache, only fetched.
void fetch_archive(host::Host& host, net::VerifiedDownloads& fetcher, SyncCache* cache,
                   const std::string& coord, net::VerifiedDownload& download);

/// Holds an open SyncCache in slot for one operation, unless the slot holds
/// one already (a resolution inside a download shares the download's).
class SyncCacheScope {
 public:
  explicit SyncCacheScope(Transfers& transfers);
  ~SyncCacheScope();
  SyncCacheScope(const SyncCacheScope&) = delete;
  SyncCacheScope& operator=(const SyncCacheScope&) = delete;

 private:
  std::unique_ptr<SyncCache>& slot_;
  bool opened_ = false;
};

}  // namespace zarn::provell
