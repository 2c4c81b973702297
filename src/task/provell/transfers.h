#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <utility>

#include "host/host.h"
#include "net/transfer_engine.h"
#include "task/provell/settings.h"

namespace zarn::provell {

class SyncCache;

/// What the resolution and the downloads of one task share: its settings,
/// the transfer engine (kept-alive connections for the task's life, opened
/// at the first request), the driver cache while an operation has it open,
/// and the count of descriptors in for the progress line.
class Transfers {
 public:
  Transfers(host::Host& host, TransferSettings settings);
  ~Transfers();
  Transfers(const Transfers&) = delete;
  Transfers& operator=(const Transfers&) = delete;

  const TransferSettings& settings() const { return settings_; }
  host::Host& host() const { return host_; }
  /// The engine, set up from the host's environment (~/.netrc, the CA variables).
  net::TransferEngine& engine();
  /// coord's archive address and name in the repository the host names now.
  std::pair<std::string, std::string> archive_of(const std::string& coord) const;

  /// The driver cache of the running operation; null outside one.
  SyncCache* cache() const { return cache_.get(); }
  /// Where an operation opens it (see SyncCacheScope).
  std::unique_ptr<SyncCache>& cache_slot() { return cache_; }

  std::size_t descriptors_fetched = 0;  ///< for the live progress line

 private:
  host::Host& host_;
  const TransferSettings settings_;
  std::unique_ptr<SyncCache> cache_;
  std::unique_ptr<net::TransferEngine> engine_;
};

}  // namespace zarn::provell
