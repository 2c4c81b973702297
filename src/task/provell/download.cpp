// Driver archives: download into the project's driver folder.

#include "task/provell/download.h"

#include <fmt/format.h>

#include <algorithm>
#include <deque>
#include <optional>
#include <stdexcept>
#include <tuple>

#include "net/verified_download.h"
#include "os/atomic_file.h"
#include "os/files.h"
#include "os/interrupt.h"
#include "task/provell/archive_downloads.h"
#include "task/provell/archive_names.h"
#include "task/provell/catalogue.h"
#include "task/provell/progress_display.h"
#include "task/provell/resolve.h"
#include "task/provell/sync_cache.h"
#include "text/printable.h"

namespace zarn::provell {
namespace {

namespace fs = std::filesystem;

constexpr double kBytesPerMegabyte = 1024.0 * 1024.0;
constexpr std::string_view kZipSignature("PK\x03\x04", 4);  ///< how every zip archive begins

/// Temporary files of a run that was killed before it could remove them;
/// another sync of the same folder may be writing its own right now, and
/// those are never stale.
void remove_stale_temporaries(const fs::path& folder) {
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(folder, error)) {
    if (os::is_stale_temporary(entry.path())) {
      std::error_code ignored;
      fs::remove(entry.path(), ignored);
    }
  }
}

/// The driver coordinates the catalogue names for the types.
std::set<std::string> direct_coordinates(const std::set<std::string>& adapter_types) {
  std::set<std::string> coords;
  for (const std::string& type : adapter_types) {
    const std::string_view text = lookup(ADAPTER_JDBC_MAPPING, type).value_or("");
    std::size_t start = 0;
    while (start <= text.size()) {
      const auto comma = std::min(text.find(',', start), text.size());
      std::string_view part = text.substr(start, comma - start);
      const auto first = part.find_first_not_of(" \t\n\r\f\v");
      if (first != std::string_view::npos) {
        part = part.substr(first, part.find_last_not_of(" \t\n\r\f\v") - first + 1);
        coords.emplace(part);
      }
      start = comma + 1;
    }
  }
  return coords;
}

/// Stores one archive at its turn with its report lines, the same whether it
/// came from the cache or the repository; the reason when it failed.
std::optional<std::string> store_archive(const Output& out, net::VerifiedDownloads& fetcher,
                                         SyncCache* cache, Archive& archive) {
  try {
    out.line(fmt::format("      Downloading {}...", archive.name));
    fetch_archive(out.host(), fetcher, cache, archive.coord, *archive.download);
    if (out.verbose()) {
      const double size_mb =
          static_cast<double>(fs::file_size(archive.download->dest)) / kBytesPerMegabyte;
      out.line(fmt::format("        ✓ Downloaded ({:.1f} MB)", size_mb));
    }
    return std::nullopt;
  } catch (const os::Interrupted&) {
    throw;
  } catch (const std::exception& error) {
    out.line(fmt::format("        ✗ Failed: {}", error.what()));
    return error.what();
  }
}

/// The archives of one download, each planned before any is placed, so the
/// transfers can run ahead of the report; each archive's lines still come at
/// its turn, in coordinate order.
class DriverRun {
 public:
  DriverRun(Transfers& transfers, const Output& out, fs::path folder)
      : transfers_(transfers),
        out_(out),
        folder_(std::move(folder)),
        cache_(*transfers.cache()),
        downloads_(transfers.engine(), transfers.settings().archive_timeout, folder_) {}

  /// Archives fetched while the resolution goes on, once the server multiplexes.
  CoordinateHook early_starts() {
    if (!transfers_.settings().runs_ahead() || cache_.offline()) return {};
    return [this](const std::string& coord) {
      try {
        if (cache_.has_archive(coord)) return;  // taken from the cache at its turn
        const auto [url, name] = transfers_.archive_of(coord);
        downloads_.start_early(url, name);
      } catch (const std::invalid_argument&) {
        // reported at its turn
      }
    };
  }

  void plan(const std::set<std::string>& direct_coords, const std::set<std::string>& all_coords) {
    // The catalogue's own coordinates keep their names, whatever else asks.
    for (const std::string& coord : direct_coords) {
      try {
        const auto [url, name] = transfers_.archive_of(coord);
        names_.claim(name, coord, url);
      } catch (const std::invalid_argument&) {
        // reported at its turn
      }
    }
    std::set<std::string> planned;
    for (const std::string& coord : all_coords) plan_one(coord, planned);
    downloads_.drop_untaken();
    if (!transfers_.settings().runs_ahead() || cache_.offline()) return;
    for (Archive& archive : archives_) {
      if (archive.download != nullptr && !archive.in_cache) {
        downloads_.fetcher().start(*archive.download);
      }
    }
  }

  /// Places every archive at its turn; the number placed from the cache or
  /// the repository.
  std::size_t place(Outcome& outcome) {
    std::size_t placed = 0;
    for (Archive& archive : archives_) {
      try {
        if (!archive.error.empty()) throw std::runtime_error(archive.error);
        if (cache_.descriptor_missing(archive.coord)) {
          throw std::runtime_error("descriptor " + std::string(kNotInCache));
        }
        if (archive.deferred) {
          archive.cached = holds_archive(folder_ / archive.name);
          if (!archive.cached) archive.download = &downloads_.take(archive.url, archive.name);
        }
        if (archive.cached) {
          out_.line(fmt::format("      {} (cached)", archive.name));
          outcome.done.push_back(archive.name);
        } else if (auto failure = store_archive(out_, downloads_.fetcher(), &cache_, archive)) {
          outcome.failures.push_back({archive.name, std::move(*failure)});
        } else {
          outcome.done.push_back(archive.name);
          ++placed;
        }
      } catch (const os::Interrupted&) {
        throw;
      } catch (const std::exception& error) {
        out_.line(
            fmt::format("      ✗ Error with {}: {}", text::printable(archive.coord), error.what()));
        outcome.failures.push_back({archive.coord, error.what()});
      }
    }
    return placed;
  }

  const std::deque<Archive>& archives() const { return archives_; }

 private:
  void plan_one(const std::string& coord, std::set<std::string>& planned) {
    Archive& archive = archives_.emplace_back();
    archive.coord = coord;
    try {
      std::tie(archive.url, archive.name) = transfers_.archive_of(coord);
      names_.claim(archive.name, coord, archive.url);
      archive.cached = holds_archive(folder_ / archive.name);
      archive.deferred = !archive.cached && !planned.insert(archive.name).second;
      archive.in_cache = !archive.cached && !archive.deferred && cache_.has_archive(coord);
      if (!archive.cached && !archive.deferred) {
        archive.download = &downloads_.take(archive.url, archive.name);
      }
    } catch (const std::exception& error) {
      archive.error = error.what();
    }
  }

  Transfers& transfers_;
  const Output& out_;
  const fs::path folder_;
  SyncCache& cache_;
  ArchiveDownloads downloads_;
  ArchiveNames names_;
  std::deque<Archive> archives_;
};

}  // namespace

DriverDownloads download_drivers(Transfers& transfers, const Output& out, const fs::path& folder,
                                 const std::set<std::string>& adapter_types) {
  os::create_folders(folder);
  remove_stale_temporaries(folder);
  const SyncCacheScope cache_scope(transfers);
  DriverDownloads result;

  const std::set<std::string> direct_coords = direct_coordinates(adapter_types);
  if (direct_coords.empty()) {
    out.line("\n  No JDBC JARs needed for these adapters");
    return result;
  }
  out.line("\n  Resolving JDBC dependencies...");
  out.line(fmt::format("    Direct dependencies: {}", direct_coords.size()));
  ProgressDisplay progress(out, transfers.engine());
  progress.descriptors = &transfers.descriptors_fetched;
  DriverRun run(transfers, out, folder);
  const std::set<std::string> all_coords =
      resolve_all(transfers, direct_coords, run.early_starts());
  if (all_coords.size() > direct_coords.size()) {
    out.line(
        fmt::format("    Transitive dependencies: {}", all_coords.size() - direct_coords.size()));
  }
  out.line(fmt::format("    Total JARs to download: {}", all_coords.size()));
  out.line(fmt::format("\n  Downloading to {}/", folder.string()));

  run.plan(direct_coords, all_coords);
  progress.archives = &run.archives();
  const std::size_t placed = run.place(result.outcome);
  result.cache_summary = transfers.cache()->summary(placed);
  return result;
}

bool download_archive(Transfers& transfers, const Output& out, const std::string& url,
                      const fs::path& dest_path) {
  net::VerifiedDownload download;
  download.url = url;
  download.dest = dest_path;
  download.unverified_start = kZipSignature;
  Archive archive;
  archive.name = dest_path.filename().string();
  archive.download = &download;
  net::VerifiedDownloads fetcher(transfers.engine(), transfers.settings().archive_timeout);
  return !store_archive(out, fetcher, nullptr, archive);
}

}  // namespace zarn::provell
