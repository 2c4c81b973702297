#pragma once

#include <filesystem>
#include <set>
#include <string>

#include "task/provell/outcome.h"
#include "task/provell/output.h"
#include "task/provell/transfers.h"

namespace zarn::provell {

/// What the driver download of a set of adapter types came to.
struct DriverDownloads {
  /// The archive names now in the folder; a failure's item is the archive's
  /// name when its transfer failed, its coordinate when it failed before one.
  Outcome outcome;
  /// "{n} of {placed} archives from the cache ({folder})", or "".
  std::string cache_summary;
};

/// Puts the JDBC driver archives of the types, with their run-time
/// dependencies, into folder (created), fetching those not there yet. A
/// failed archive is reported and the others go on; an interrupt throws.
DriverDownloads download_drivers(Transfers& transfers, const Output& out,
                                 const std::filesystem::path& folder,
                                 const std::set<std::string>& adapter_types);

/// Fetches one archive from url to dest_path; true once stored. Never throws
/// but for an interrupt.
bool download_archive(Transfers& transfers, const Output& out, const std::string& url,
                      const std::filesystem::path& dest_path);

}  // namespace zarn::provell
