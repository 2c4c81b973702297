// Driver archives: download into the project's driver folder, and the
// clean-up of the archive settings of the local Spark compute.

#include <fmt/format.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstring>
#include <deque>
#include <functional>
#include <optional>
#include <stdexcept>
#include <tuple>

#include "host/atomic_file.h"
#include "host/file_error.h"
#include "host/files.h"
#include "host/path_text.h"
#include "host/printable.h"
#include "host/transfer_engine.h"
#include "host/verified_download.h"
#include "task/provell/archive_downloads.h"
#include "task/provell/archive_names.h"
#include "task/provell/catalogue.h"
#include "task/provell/progress_display.h"
#include "task/provell/provell_task.h"

namespace zarn::provell {
namespace {

namespace fs = std::filesystem;

constexpr double kBytesPerMegabyte = 1024.0 * 1024.0;
constexpr std::string_view kZipSignature("PK\x03\x04", 4);  ///< how every zip archive begins

/// project_dir/.zarn/jdbc_jars, spelled without "." or empty components so
/// the path printed is the plain one ("./p//" gives "p/.zarn/jdbc_jars").
fs::path driver_folder(const std::string& project_dir) {
  const std::string folder = host::path_text(project_dir);
  return (folder == "." ? fs::path() : fs::path(folder)) / ".zarn" / "jdbc_jars";
}

/// Temporary files of a run that was killed before it could remove them;
/// another sync of the same folder may be writing its own right now, and
/// those are never stale.
void remove_stale_temporaries(const fs::path& folder) {
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(folder, error)) {
    if (host::is_stale_temporary(entry.path())) {
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

/// Names of the usable archives in folder (as the download counts them),
/// sorted; none when it cannot be listed.
std::vector<std::string> archive_names(const fs::path& folder) {
  std::vector<std::string> names;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(folder, error)) {
    std::string name = entry.path().filename().string();
    try {
      if (name.ends_with(".jar") && holds_archive(entry.path())) names.push_back(std::move(name));
    } catch (const std::exception&) {
      // in the way: the download reports it
    }
  }
  std::sort(names.begin(), names.end());
  return names;
}

/// Downloads one archive at its turn with its report lines; true once stored.
bool store_archive(host::Host& host, host::VerifiedDownloads& fetcher, Archive& archive,
                   bool verbose) {
  const auto print = [&host](std::string_view line) { host.echo(line); };
  try {
    if (verbose) print(fmt::format("      Downloading {}...", archive.name));
    const bool unverified = fetcher.finish(*archive.download);
    if (unverified) {
      host.notice(fmt::format("⚠ {}: the repository has no checksum for it; stored unverified",
                              archive.name));
    }
    if (verbose) {
      const double size_mb =
          static_cast<double>(fs::file_size(archive.download->dest)) / kBytesPerMegabyte;
      print(fmt::format("        ✓ Downloaded ({:.1f} MB)", size_mb));
    }
    return true;
  } catch (const host::TransferInterrupted&) {
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
  host::create_folders(jdbc_jars_dir);
  remove_stale_temporaries(jdbc_jars_dir);
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
  std::function<void(const std::string&)> start_early;
  if (transfers.jobs > 1) {
    // Archives start while the resolution goes on; their lines still come in order.
    start_early = [this, &downloads](const std::string& coord) {
      try {
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
      if (!archive.cached && !archive.deferred) {
        archive.download = &downloads.take(archive.url, archive.name);
      }
    } catch (const std::exception& error) {
      archive.error = error.what();
    }
  }
  downloads.drop_untaken();
  host::VerifiedDownloads& fetcher = downloads.fetcher();
  progress.archives = &archives;
  if (transfers.jobs > 1) {
    for (Archive& archive : archives) {
      if (archive.download != nullptr) fetcher.start(*archive.download);
    }
  }

  for (Archive& archive : archives) {
    try {
      if (!archive.error.empty()) throw std::runtime_error(archive.error);
      if (archive.deferred) {
        archive.cached = holds_archive(jdbc_jars_dir / archive.name);
        if (!archive.cached) archive.download = &downloads.take(archive.url, archive.name);
      }
      if (archive.cached) {
        if (verbose) print(fmt::format("      {} (cached)", archive.name));
        downloaded.push_back(archive.name);
      } else if (store_archive(host_, fetcher, archive, verbose)) {
        downloaded.push_back(archive.name);
      } else {
        failed.push_back(archive.name);
      }
    } catch (const host::TransferInterrupted&) {
      throw;
    } catch (const std::exception& error) {
      if (verbose)
        print(
            fmt::format("      ✗ Error with {}: {}", host::printable(archive.coord), error.what()));
      failed.push_back(archive.coord);
    }
  }
  return {downloaded, failed};
}

bool ProvellTask::_download_jar(const std::string& url, const fs::path& dest_path, bool verbose) {
  host::VerifiedDownload download;
  download.url = url;
  download.dest = dest_path;
  download.unverified_start = kZipSignature;
  Archive archive;
  archive.name = dest_path.filename().string();
  archive.download = &download;
  host::VerifiedDownloads fetcher(engine(), transfers.archive_timeout);
  return store_archive(host_, fetcher, archive, verbose);
}

bool ProvellTask::update_jdbc_jars(bool verbose) {
  const fs::path jdbc_jars_dir = driver_folder(project_dir);
  const std::vector<std::string> jar_names = archive_names(jdbc_jars_dir);
  if (verbose) {
    if (jar_names.empty()) {
      print("\n  No JDBC JARs downloaded");
    } else {
      print(fmt::format("\n  JDBC JARs downloaded ({}):", jar_names.size()));
      for (const std::string& name : jar_names) print(fmt::format("    - {}", name));
      print(fmt::format("\n  ✓ JARs stored in: {}", jdbc_jars_dir.string()));
      print("    (Spark discovers JARs at runtime - portable across folder moves)");
    }
  }

  if (const auto config = compute_registry->entry_config("spark-local")) {
    bool modified = false;
    for (const std::string key : {"spark.jars", "spark.jars.packages"}) {
      if (!config->contains(key)) continue;
      config->erase(key);
      modified = true;
    }
    if (modified) {
      compute_registry->_save();
      if (verbose) print("\n  ✓ Cleaned up old spark.jars config (now uses runtime discovery)");
    }
  }
  return !jar_names.empty();
}

}  // namespace zarn::provell
