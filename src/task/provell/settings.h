#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

#include "net/transfer_engine.h"
#include "os/interrupt.h"

namespace zarn::provell {

/// How the driver sync uses the per-user driver cache.
enum class CacheUse {
  kOn,       ///< read it, and fill it with what is fetched
  kOffline,  ///< read it only, and make no request
  kOff,      ///< neither read nor fill it
};

/// Opens the transfer engine of a task; tests give one without a network.
using EngineFactory = std::function<std::unique_ptr<net::TransferEngine>(
    os::InterruptPoll pending_interrupt, net::TransferOptions options)>;

/// How the driver sync uses the network, fixed when the task is built.
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
  /// Transfers at once over a multiplexed (HTTP/2) connection, when transfers run ahead.
  std::size_t streams = 64;
  /// Empty: the program's network.
  EngineFactory open_engine = {};

  /// Whether transfers run ahead of the report: descriptors fetched before
  /// the walk reads them, archives started while the resolution goes on,
  /// streams over one connection. Otherwise one file at a time, in the order
  /// of the report.
  bool runs_ahead() const { return jobs > 1; }
};

}  // namespace zarn::provell
