#include "task/provell/sync_cache.h"

#include <fmt/format.h>

#include <vector>

#include "cache/cache_folder.h"
#include "host/host.h"
#include "host/lock_waiting.h"
#include "net/transfer_engine.h"
#include "os/interrupt.h"
#include "task/provell/catalogue.h"
#include "task/provell/coordinates.h"
#include "task/provell/pom.h"

namespace zarn::provell {
namespace {

namespace fs = std::filesystem;

/// The folder of coord's files below the cache, as in a Maven repository;
/// none for a -SNAPSHOT or for a coordinate whose parts would leave it.
std::optional<fs::path> folder_of(const std::string& coord) {
  const std::vector<std::string> parts = split_coordinate(coord);
  if (parts.size() < 3 || parts[2].ends_with("-SNAPSHOT")) return std::nullopt;
  const auto plain = [](std::string_view part) {
    return !part.empty() && part != "." && part != ".." &&
           part.find_first_of("/\\") == std::string_view::npos;
  };
  fs::path folder;
  std::size_t from = 0;
  while (true) {
    const auto dot = parts[0].find('.', from);
    const std::string component = parts[0].substr(from, dot - from);
    if (!plain(component)) return std::nullopt;
    folder /= component;
    if (dot == std::string::npos) break;
    from = dot + 1;
  }
  if (!plain(parts[1]) || !plain(parts[2])) return std::nullopt;
  return folder / parts[1] / parts[2] / (parts[1] + "-" + parts[2]);
}

std::optional<fs::path> entry_of(const std::string& coord, std::string_view extension) {
  auto stem = folder_of(coord);
  if (!stem) return std::nullopt;
  stem->replace_filename(stem->filename().string() + std::string(extension));
  return stem;
}

}  // namespace

SyncCache::SyncCache(host::Host& host, const TransferSettings& settings)
    : host_(host), use_(settings.cache), allow_links_(settings.link_from_cache) {
  if (use_ == CacheUse::kOff) return;
  try {
    const os::Environment environment = host.environment();
    repository_ = maven_repo(environment);
    fs::path folder = cache::cache_folder(environment);
    folder_text_ = cache::cache_folder_text(folder, environment);
    cache_.emplace(std::move(folder), host::waiting_of(host));
  } catch (const os::Interrupted&) {
    throw;
  } catch (const std::exception& error) {
    tell(error);
  }
}

void SyncCache::tell(const std::exception& error) {
  // Called from a catch: an interrupt while waiting for the cache's lock ends the run.
  if (dynamic_cast<const os::Interrupted*>(&error) != nullptr) throw;
  if (told_) return;
  told_ = true;
  host_.notice(fmt::format("driver cache not used: {}", error.what()));
}

bool SyncCache::has_archive(const std::string& coord) const {
  const auto entry = entry_of(coord, ".jar");
  return cache_ && entry && cache_->has_archive(*entry);
}

bool SyncCache::place_archive(const std::string& coord, const fs::path& dest) {
  const auto entry = entry_of(coord, ".jar");
  if (!cache_ || !entry) return false;
  try {
    if (!cache_->place_archive(*entry, dest, allow_links_)) return false;
  } catch (const std::exception& error) {
    tell(error);  // the archive is fetched as if it were not cached
    return false;
  }
  ++archives_taken_;
  return true;
}

void SyncCache::keep_archive(const std::string& coord, const fs::path& dest, std::string_view sha1,
                             std::uint64_t size) {
  const auto entry = entry_of(coord, ".jar");
  if (!cache_ || !entry || sha1.empty()) return;
  try {
    cache_->keep_archive(*entry, dest, sha1, size);
  } catch (const std::exception& error) {
    tell(error);
  }
}

std::optional<std::string> SyncCache::descriptor(const std::string& coord) {
  const auto entry = entry_of(coord, ".pom");
  std::optional<std::string> body;
  if (cache_ && entry) body = cache_->descriptor(*entry);
  if (body) {
    try {
      parse_pom_dependencies(*body);
      return body;
    } catch (const std::exception&) {
      try {
        cache_->drop_descriptor(*entry);
      } catch (const std::exception& error) {
        tell(error);
      }
    }
  }
  if (offline()) missing_descriptors_.insert(coord);
  return std::nullopt;
}

void SyncCache::keep_descriptor(const std::string& coord, std::string_view body) {
  const auto entry = entry_of(coord, ".pom");
  if (!cache_ || !entry) return;
  try {
    cache_->keep_descriptor(*entry, body);
  } catch (const std::exception& error) {
    tell(error);
  }
}

bool SyncCache::descriptor_absent(const std::string& coord) const {
  const auto entry = entry_of(coord, ".pom");
  return cache_ && entry && cache_->is_absent(*entry, repository_);
}

void SyncCache::descriptor_failed(const std::string& coord, const std::exception_ptr& error) {
  const auto entry = entry_of(coord, ".pom");
  if (!cache_ || !entry || !error) return;
  try {
    std::rethrow_exception(error);
  } catch (const net::HttpError& http) {
    if (http.status() != 404 && http.status() != 410) return;
  } catch (...) {
    return;
  }
  try {
    cache_->keep_absence(*entry, repository_);
  } catch (const std::exception& failure) {
    tell(failure);
  }
}

std::string SyncCache::summary(std::size_t placed) const {
  if (archives_taken_ == 0) return "";
  return fmt::format("{} of {} archives from the cache ({})", archives_taken_, placed,
                     folder_text_);
}

void fetch_archive(host::Host& host, net::VerifiedDownloads& fetcher, SyncCache* cache,
                   const std::string& coord, net::VerifiedDownload& download) {
  if (cache && cache->place_archive(coord, download.dest)) return;
  if (cache && cache->offline()) throw std::runtime_error(std::string(kNotInCache));
  const bool unverified = fetcher.finish(download);
  if (unverified) {
    host.notice(fmt::format("⚠ {}: the repository has no checksum for it; stored unverified",
                            download.dest.filename().string()));
  } else if (cache) {
    cache->keep_archive(coord, download.dest, download.digest, download.size);
  }
}

SyncCacheScope::SyncCacheScope(Transfers& transfers) : slot_(transfers.cache_slot()) {
  if (slot_) return;
  slot_ = std::make_unique<SyncCache>(transfers.host(), transfers.settings());
  opened_ = true;
}

SyncCacheScope::~SyncCacheScope() {
  if (opened_) slot_.reset();
}

}  // namespace zarn::provell
