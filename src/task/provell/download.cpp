// Driver archives: download into the project's driver folder.

#include <fmt/format.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstring>
#include <deque>
#include <optional>
#include <stdexcept>
#include <tuple>

#include "host/host.h"
#include "net/transfer_engine.h"
#include "net/verified_download.h"
#include "os/atomic_file.h"
#include "os/file_error.h"
#include "os/files.h"
#include "os/path_text.h"
#include "task/provell/archive_downloads.h"
#include "task/provell/archive_names.h"
#include "task/provell/catalogue.h"
#include "task/provell/driver_folder.h"
#include "task/provell/progress_display.h"
#include "task/provell/provell_task.h"
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
/// came from the cache or the repository; true once stored.
bool store_archive(host::Host& host, net::VerifiedDownloads& fetcher, SyncCache* cache,
                   Archive& archive, bool verbose) {
  const auto print = [&host](std::string_view line) { host.echo(line); };
  try {
    if (verbose) print(fmt::format("      Downloading {}...", archive.name));
    fetch_archive(host, fetcher, cache, archive.coord, *archive.download);
    if (verbose) {
      const double size_mb =
          static_cast<double>(fs::file_size(archive.download->dest)) / kBytesPerMegabyte;
      print(fmt::format("        ✓ Downloaded ({:.1f} MB)", size_mb));
    }
    return true;
  } catch (const net::TransferInterrupted&) {
    throw;
  } catch (const std::exception& error) {
    if (verbose) print(fmt::format("        ✗ Failed: {}", error.what()));
    return false;
  }
}

}  // namespace

std::pair<std::vector<std::string>, std::vector<std::string>> ProvellTask::download_jdbc_jars(
    const std::set<std::string>& adapter_types, bool verbose) {
  const fs::path jdbc_jars_dir = driver_folder(project_dir);
  os::create_folders(jdbc_jars_dir);
  remove_stale_temporaries(jdbc_jars_dir);
  cache_summary_.clear();
  const SyncCacheScope cache_scope(cache_, host_, transfers);
  std::vector<std::string> downloaded;
  std::vector<std::string> failed;

  const std::set<std::string> direct_coords = direct_coordinates(adapter_types);
  if (direct_coords.empty()) {
    if (verbose) print("\n  No JDBC JARs needed for these adapters");
    return {downloaded, failed};
  }
  if (verbose) {
    print("\n  Resolving JDBC dependencies...");
    print(fmt::format("    Direct dependencies: {}", direct_coords.size()));
  }
  ProgressDisplay progress(host_, engine(), verbose);
  progress.descriptors = &descriptors_fetched_;
  ArchiveDownloads downloads(engine(), transfers.archive_timeout, jdbc_jars_dir);
  CoordinateHook start_early;
  if (transfers.jobs > 1 && !cache_->offline()) {
    // Archives start while the resolution goes on; their lines still come in order.
    start_early = [this, &downloads](const std::string& coord) {
      try {
        if (cache_->has_archive(coord)) return;  // taken from the cache at its turn
        const auto [url, name] = _maven_coord_to_url(coord);
        downloads.start_early(url, name);
      } catch (const std::invalid_argument&) {
        // reported at its turn
      }
    };
  }
  const std::set<std::string> all_coords = resolve_all(direct_coords, start_early);
  if (verbose) {
    if (all_coords.size() > direct_coords.size()) {
      print(
          fmt::format("    Transitive dependencies: {}", all_coords.size() - direct_coords.size()));
    }
    print(fmt::format("    Total JARs to download: {}", all_coords.size()));
    print(fmt::format("\n  Downloading to {}/", jdbc_jars_dir.string()));
  }

  // Every archive is planned first, so the transfers can run ahead of the
  // report; each archive's lines still come at its turn, in coordinate order.
  std::deque<Archive> archives;
  // The catalogue's own coordinates keep their names, whatever else asks.
  ArchiveNames names;
  for (const std::string& coord : direct_coords) {
    try {
      const auto [url, name] = _maven_coord_to_url(coord);
      names.claim(name, coord, url);
    } catch (const std::invalid_argument&) {
      // reported at its turn
    }
  }
  std::set<std::string> planned;
  for (const std::string& coord : all_coords) {  // a std::set is in code-point order
    Archive& archive = archives.emplace_back();
    archive.coord = coord;
    try {
      std::tie(archive.url, archive.name) = _maven_coord_to_url(coord);
      names.claim(archive.name, coord, archive.url);
      archive.cached = holds_archive(jdbc_jars_dir / archive.name);
      archive.deferred = !archive.cached && !planned.insert(archive.name).second;
      archive.in_cache = !archive.cached && !archive.deferred && cache_->has_archive(coord);
      if (!archive.cached && !archive.deferred) {
        archive.download = &downloads.take(archive.url, archive.name);
      }
    } catch (const std::exception& error) {
      archive.error = error.what();
    }
  }
  downloads.drop_untaken();
  net::VerifiedDownloads& fetcher = downloads.fetcher();
  progress.archives = &archives;
  if (transfers.jobs > 1 && !cache_->offline()) {
    for (Archive& archive : archives) {
      if (archive.download != nullptr && !archive.in_cache) fetcher.start(*archive.download);
    }
  }

  std::size_t placed = 0;
  for (Archive& archive : archives) {
    try {
      if (!archive.error.empty()) throw std::runtime_error(archive.error);
      if (cache_->descriptor_missing(archive.coord)) {
        throw std::runtime_error("descriptor " + std::string(kNotInCache));
      }
      if (archive.deferred) {
        archive.cached = holds_archive(jdbc_jars_dir / archive.name);
        if (!archive.cached) archive.download = &downloads.take(archive.url, archive.name);
      }
      if (archive.cached) {
        if (verbose) print(fmt::format("      {} (cached)", archive.name));
        downloaded.push_back(archive.name);
      } else if (store_archive(host_, fetcher, cache_.get(), archive, verbose)) {
        downloaded.push_back(archive.name);
        ++placed;
      } else {
        failed.push_back(archive.name);
      }
    } catch (const net::TransferInterrupted&) {
      throw;
    } catch (const std::exception& error) {
      if (verbose)
        print(
            fmt::format("      ✗ Error with {}: {}", text::printable(archive.coord), error.what()));
      failed.push_back(archive.coord);
    }
  }
  cache_summary_ = cache_->summary(placed);
  return {downloaded, failed};
}

bool ProvellTask::_download_jar(const std::string& url, const fs::path& dest_path, bool verbose) {
  net::VerifiedDownload download;
  download.url = url;
  download.dest = dest_path;
  download.unverified_start = kZipSignature;
  Archive archive;
  archive.name = dest_path.filename().string();
  archive.download = &download;
  net::VerifiedDownloads fetcher(engine(), transfers.archive_timeout);
  return store_archive(host_, fetcher, nullptr, archive, verbose);
}

}  // namespace zarn::provell
