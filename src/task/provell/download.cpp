// Driver archives: download into the project's driver folder, and the
// clean-up of the archive settings of the local Spark compute.

#include <fmt/format.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <deque>
#include <iostream>
#include <optional>
#include <stdexcept>
#include <tuple>

#include "host/atomic_file.h"
#include "host/files.h"
#include "host/folder_lock.h"
#include "host/printable.h"
#include "host/sha1.h"
#include "host/transfer_engine.h"
#include "task/provell/catalogue.h"
#include "task/provell/provell_task.h"

namespace zarn::provell {
namespace {

namespace fs = std::filesystem;

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
/// Another sync of the same folder may be writing its own right now: the
/// sweep runs only when no other holds the folder's lock.
void remove_stale_temporaries(const fs::path& folder, host::FolderLock& lock) {
  if (lock.try_exclusive()) {
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(folder, error)) {
      if (host::is_atomic_temporary_name(entry.path().filename().string())) {
        std::error_code ignored;
        fs::remove(entry.path(), ignored);
      }
    }
  }
  lock.share();
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

/// One archive of the run, from its coordinate to its report lines.
struct Archive {
  std::string coord;
  std::string name;  ///< empty when the coordinate was rejected
  std::string url;
  fs::path dest;
  std::string error;  ///< why it failed before any transfer
  bool cached = false;
  bool deferred = false;  ///< named like an earlier download: decided at its turn

  bool started = false;
  host::TransferEngine::Id body_id = 0;
  host::TransferEngine::Id sum_id = 0;
  bool body_ended = false;
  bool sum_ended = false;
  std::exception_ptr body_error;
  std::exception_ptr sum_error;
  std::optional<host::AtomicFile> file;  ///< created with the first byte
  std::string buffer;                    ///< gathers small pieces into fewer, larger writes
  host::Sha1 sha1;
  std::uint64_t size = 0;
  std::string sum;  ///< the repository's checksum file
};

constexpr std::size_t kWriteBuffer = 1 << 20;
constexpr std::size_t kMaxChecksumBytes = 1024;

/// The checksum a ".sha1" file holds: its first word, in lower case.
std::string checksum_of(const std::string& text) {
  const auto first = text.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return "";
  std::string word = text.substr(first, text.find_first_of(" \t\r\n", first) - first);
  std::transform(word.begin(), word.end(), word.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return host::printable(word.substr(0, 64));
}

bool is_missing(const std::exception_ptr& error) {
  try {
    std::rethrow_exception(error);
  } catch (const host::HttpError& http) {
    return http.status() == 404 || http.status() == 410;
  } catch (...) {
    return false;
  }
}

/// Streams archives into temporary files of the driver folder, hashing them
/// on the way, beside their checksum files. Drops whatever is still running
/// when destroyed.
class ArchiveFetcher {
 public:
  ArchiveFetcher(host::TransferEngine& engine, std::chrono::seconds timeout)
      : engine_(engine), timeout_(timeout) {}
  ~ArchiveFetcher() {
    for (Archive* archive : started_) {
      if (!archive->body_ended) engine_.cancel(archive->body_id);
      if (!archive->sum_ended) engine_.cancel(archive->sum_id);
    }
  }
  ArchiveFetcher(const ArchiveFetcher&) = delete;
  ArchiveFetcher& operator=(const ArchiveFetcher&) = delete;

  void start(Archive& archive) {
    if (archive.started) return;
    archive.started = true;
    started_.push_back(&archive);
    archive.body_id = engine_.start(
        archive.url, timeout_, [&archive](std::string_view piece) { receive(archive, piece); },
        [&archive](std::exception_ptr error) { end_body(archive, std::move(error)); });
    archive.sum_id = engine_.start(
        archive.url + ".sha1", timeout_,
        [&archive](std::string_view piece) {
          if (archive.sum.size() + piece.size() > kMaxChecksumBytes) {
            throw host::HttpError("checksum file larger than " + std::to_string(kMaxChecksumBytes) +
                                  " bytes");
          }
          archive.sum.append(piece);
        },
        [&archive](std::exception_ptr error) {
          archive.sum_ended = true;
          archive.sum_error = std::move(error);
        });
  }

  /// Waits for the archive and its checksum file, then checks and stores
  /// it. Throws what failed; true when it went in unverified.
  bool finish(Archive& archive) {
    start(archive);
    engine_.prioritize(archive.sum_id);
    engine_.prioritize(archive.body_id);
    engine_.run_until([&archive] { return archive.body_ended && archive.sum_ended; });
    if (archive.body_error) std::rethrow_exception(archive.body_error);
    if (archive.size == 0) throw std::runtime_error("empty response");
    const bool unverified = archive.sum_error && is_missing(archive.sum_error);
    if (archive.sum_error && !unverified) {
      try {
        std::rethrow_exception(archive.sum_error);
      } catch (const std::exception& error) {
        throw std::runtime_error(std::string("cannot fetch the checksum: ") + error.what());
      }
    }
    if (!unverified) {
      const std::string expected = checksum_of(archive.sum);
      const std::string got = archive.sha1.hex_digest();
      if (expected != got) {
        throw std::runtime_error(
            fmt::format("checksum mismatch (expected {}, got {})", expected, got));
      }
    }
    // The folder is a cache of what the repository holds, so the rename
    // does not wait for the disk: that wait would double a cold sync.
    archive.file->commit(host::AtomicFile::Durability::kProcessSafe);
    return unverified;
  }

 private:
  static void receive(Archive& archive, std::string_view piece) {
    // Under a temporary name until complete, so a failed or interrupted
    // transfer never leaves a part for the next run to take as cached.
    if (!archive.file) {
      archive.file.emplace(archive.dest);
      archive.buffer.reserve(kWriteBuffer);
    }
    archive.sha1.update(piece);
    archive.size += piece.size();
    if (archive.buffer.size() + piece.size() > kWriteBuffer) flush(archive);
    archive.buffer.append(piece);
  }

  static void flush(Archive& archive) {
    archive.file->write(archive.buffer);
    archive.buffer.clear();
  }

  static void end_body(Archive& archive, std::exception_ptr error) {
    archive.body_ended = true;
    archive.body_error = std::move(error);
    if (!archive.body_error && archive.file) {
      try {
        flush(archive);
      } catch (...) {
        archive.body_error = std::current_exception();
      }
    }
    if (archive.body_error) archive.file.reset();
    std::string().swap(archive.buffer);
  }

  host::TransferEngine& engine_;
  const std::chrono::seconds timeout_;
  std::vector<Archive*> started_;
};

/// One line on standard error, so standard output stays the report alone.
void warn(host::Host& host, std::string_view line) {
  host.show_progress("");
  std::cerr << line << std::endl;
}

/// Downloads one archive at its turn with its report lines; true once stored.
bool store_archive(host::Host& host, ArchiveFetcher& fetcher, Archive& archive, bool verbose) {
  const auto print = [&host](std::string_view line) { host.echo(line); };
  try {
    if (verbose) print(fmt::format("      Downloading {}...", archive.name));
    const bool unverified = fetcher.finish(archive);
    if (unverified) {
      warn(host, fmt::format("⚠ {}: the repository has no checksum for it; stored unverified",
                             archive.name));
    }
    if (verbose) {
      const double size_mb = static_cast<double>(fs::file_size(archive.dest)) / kBytesPerMegabyte;
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

/// The live progress line of the driver sync, while it lasts.
class ProgressDisplay {
 public:
  ProgressDisplay(host::Host& host, host::TransferEngine& engine, bool verbose)
      : host_(host), engine_(engine), start_bytes_(engine.bytes_received()) {
    if (verbose) engine_.on_tick([this] { draw(); });
  }
  ~ProgressDisplay() {
    engine_.on_tick({});
    host_.show_progress("");
  }
  ProgressDisplay(const ProgressDisplay&) = delete;
  ProgressDisplay& operator=(const ProgressDisplay&) = delete;

  const std::size_t* descriptors = nullptr;
  const std::deque<Archive>* archives = nullptr;

 private:
  void draw() {
    const double megabytes =
        static_cast<double>(engine_.bytes_received() - start_bytes_) / kBytesPerMegabyte;
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    std::string status = fmt::format("  {} descriptors", descriptors ? *descriptors : 0);
    if (archives != nullptr) {
      const auto wanted = std::count_if(archives->begin(), archives->end(),
                                        [](const Archive& a) { return a.started; });
      const auto done = std::count_if(archives->begin(), archives->end(),
                                      [](const Archive& a) { return a.body_ended; });
      status += fmt::format(", {}/{} archives", done, wanted);
    }
    status += fmt::format(", {:.1f} MB at {:.1f} MB/s", megabytes,
                          seconds > 0 ? megabytes / seconds : 0.0);
    host_.show_progress(status);
  }

  host::Host& host_;
  host::TransferEngine& engine_;
  const std::uint64_t start_bytes_;
  const std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

}  // namespace

std::pair<std::vector<std::string>, std::vector<std::string>> ProvellTask::download_jdbc_jars(
    const std::set<std::string>& adapter_types, bool verbose) {
  const fs::path jdbc_jars_dir = driver_folder(project_dir);
  host::create_folders(jdbc_jars_dir);
  host::FolderLock lock(jdbc_jars_dir);
  remove_stale_temporaries(jdbc_jars_dir, lock);
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
  const std::set<std::string> all_coords = resolve_all(direct_coords);
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
  std::set<std::string> planned;
  for (const std::string& coord : all_coords) {  // a std::set is in code-point order
    Archive& archive = archives.emplace_back();
    archive.coord = coord;
    try {
      std::tie(archive.url, archive.name) = _maven_coord_to_url(coord);
      archive.dest = jdbc_jars_dir / archive.name;
      archive.cached = name_taken(archive.dest);
      archive.deferred = !archive.cached && !planned.insert(archive.name).second;
    } catch (const std::exception& error) {
      archive.error = error.what();
    }
  }
  ArchiveFetcher fetcher(engine(), transfers.archive_timeout);
  progress.archives = &archives;
  if (transfers.jobs > 1) {
    for (Archive& archive : archives) {
      if (archive.error.empty() && !archive.cached && !archive.deferred) fetcher.start(archive);
    }
  }

  for (Archive& archive : archives) {
    try {
      if (!archive.error.empty()) throw std::runtime_error(archive.error);
      if (archive.deferred) archive.cached = name_taken(archive.dest);
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
      if (verbose) print(fmt::format("      ✗ Error with {}: {}", archive.coord, error.what()));
      failed.push_back(archive.coord);
    }
  }
  return {downloaded, failed};
}

bool ProvellTask::_download_jar(const std::string& url, const fs::path& dest_path, bool verbose) {
  Archive archive;
  archive.url = url;
  archive.dest = dest_path;
  archive.name = dest_path.filename().string();
  ArchiveFetcher fetcher(engine(), transfers.archive_timeout);
  return store_archive(host_, fetcher, archive, verbose);
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
