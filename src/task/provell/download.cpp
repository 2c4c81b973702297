// Driver archives: download into the project's driver folder, and the
// clean-up of the archive settings of the local Spark compute.

#include <fmt/format.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <stdexcept>

#include "host/atomic_file.h"
#include "host/files.h"
#include "host/http_client.h"
#include "task/provell/catalogue.h"
#include "task/provell/provell_task.h"

namespace zarn::provell {
namespace {

namespace fs = std::filesystem;

constexpr std::chrono::seconds kArchiveTimeout{60};
constexpr double kBytesPerMegabyte = 1024.0 * 1024.0;

/// project_dir/.zarn/jdbc_jars, spelled without "." or empty components so
/// the path printed is the plain one ("./p//" gives "p/.zarn/jdbc_jars").
fs::path driver_folder(const std::string& project_dir) {
  fs::path result = project_dir.starts_with('/') ? fs::path("/") : fs::path();
  for (const auto& part : fs::path(project_dir)) {
    const std::string text = part.string();
    if (!text.empty() && text != "." && text != "/") result /= part;
  }
  return result / ".zarn" / "jdbc_jars";
}

/// Whether anything, a dangling link included, has that name. Unlike a
/// missing entry, a failed check (no search permission) is an error.
bool name_taken(const fs::path& path) {
  struct stat info {};
  if (::lstat(path.c_str(), &info) == 0) return true;
  if (errno == ENOENT || errno == ENOTDIR) return false;
  throw std::runtime_error("cannot check " + path.string() + ": " + std::strerror(errno));
}

/// Temporary files of a run that was killed before it could remove them.
void remove_stale_temporaries(const fs::path& folder) {
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(folder, error)) {
    if (host::is_atomic_temporary_name(entry.path().filename().string())) {
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

/// Gathers the small pieces the HTTP client hands over (16 KiB at most) into
/// fewer, larger writes.
class BufferedWriter {
 public:
  explicit BufferedWriter(host::AtomicFile& file) : file_(file) { buffer_.reserve(kCapacity); }
  void write(std::string_view piece) {
    if (buffer_.size() + piece.size() > kCapacity) flush();
    buffer_.append(piece);
  }
  void flush() {
    file_.write(buffer_);
    buffer_.clear();
  }

 private:
  static constexpr std::size_t kCapacity = 1 << 20;
  host::AtomicFile& file_;
  std::string buffer_;
};

/// Names of the archives in folder, sorted; none when it cannot be listed.
std::vector<std::string> archive_names(const fs::path& folder) {
  std::vector<std::string> names;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(folder, error)) {
    std::string name = entry.path().filename().string();
    if (name.ends_with(".jar")) names.push_back(std::move(name));
  }
  std::sort(names.begin(), names.end());
  return names;
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
  std::set<std::string> all_coords;
  for (const std::string& coord : direct_coords) all_coords.merge(_resolve_transitive_deps(coord));
  if (verbose) {
    if (all_coords.size() > direct_coords.size()) {
      print(
          fmt::format("    Transitive dependencies: {}", all_coords.size() - direct_coords.size()));
    }
    print(fmt::format("    Total JARs to download: {}", all_coords.size()));
    print(fmt::format("\n  Downloading to {}/", jdbc_jars_dir.string()));
  }

  for (const std::string& coord : all_coords) {  // a std::set is in code-point order
    try {
      const auto [url, jar_name] = _maven_coord_to_url(coord);
      const fs::path dest_path = jdbc_jars_dir / jar_name;
      if (name_taken(dest_path)) {
        if (verbose) print(fmt::format("      {} (cached)", jar_name));
        downloaded.push_back(jar_name);
      } else if (_download_jar(url, dest_path, verbose)) {
        downloaded.push_back(jar_name);
      } else {
        failed.push_back(jar_name);
      }
    } catch (const host::TransferInterrupted&) {
      throw;
    } catch (const std::exception& error) {
      if (verbose) print(fmt::format("      ✗ Error with {}: {}", coord, error.what()));
      failed.push_back(coord);
    }
  }
  return {downloaded, failed};
}

bool ProvellTask::_download_jar(const std::string& url, const fs::path& dest_path, bool verbose) {
  try {
    if (verbose) print(fmt::format("      Downloading {}...", dest_path.filename().string()));
    {
      // Streamed under a temporary name and renamed once complete, so a
      // failed or interrupted transfer never leaves a part under the
      // archive's name for the next run to take as cached. The folder is a
      // cache of what the repository holds, so the rename does not wait for
      // the disk: that wait would double the time of a cold sync.
      host::AtomicFile file(dest_path);
      BufferedWriter writer(file);
      http().get(url, kArchiveTimeout, [&writer](std::string_view piece) { writer.write(piece); });
      writer.flush();
      file.commit(host::AtomicFile::Durability::kProcessSafe);
    }
    if (verbose) {
      const double size_mb = static_cast<double>(fs::file_size(dest_path)) / kBytesPerMegabyte;
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

bool ProvellTask::update_jdbc_jars(const std::set<std::string>& /*adapter_types*/, bool verbose) {
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
