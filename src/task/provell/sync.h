#pragma once

#include <filesystem>

#include "host/host.h"
#include "task/provell/inventory.h"
#include "task/provell/output.h"
#include "task/provell/transfers.h"

namespace zarn::provell {

/// What one sync works on.
struct SyncTarget {
  ProfileSource& profiles;
  Transfers& transfers;
  std::filesystem::path driver_folder;
  host::ComputeRegistry& registry;
};

/// What one sync does beyond the report.
struct SyncOptions {
  bool clean = false;    ///< list the unused adapters for removal
  bool dry_run = false;  ///< stop after the adapter status
};

/// `zarn target sync`: the connection report, the adapter status with the
/// commands that would fix it, then the driver downloads and clean-up. False
/// when the profile holds no connections; throws PelkRuntimeError (after the
/// header) when it cannot be read.
bool run_sync(const SyncTarget& target, const Output& out, SyncOptions options);

}  // namespace zarn::provell
