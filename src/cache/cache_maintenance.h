#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "os/file_lock.h"

namespace zarn::cache {

/// What a driver cache holds.
struct CacheUsage {
  std::size_t archives = 0;
  std::size_t descriptors = 0;
  std::uint64_t bytes = 0;  ///< every file, checksum and size records included
};

/// The entries below root; an absent folder holds nothing.
CacheUsage cache_usage(const std::filesystem::path& root);

/// Removes every entry below root, with its records and the folders left
/// empty, once no sync uses the cache; returns what it removed. Files the
/// cache never writes stay where they are.
CacheUsage clean_cache(const std::filesystem::path& root, const os::LockWaiting& waiting);

/// An archive entry that failed its check, and why.
struct DroppedEntry {
  std::string path;  ///< relative to the cache folder
  std::string reason;
};

struct VerifyOutcome {
  std::size_t checked = 0;
  std::vector<DroppedEntry> dropped;
};

/// Hashes every archive entry once no sync uses the cache and drops those
/// whose size or SHA-1 is not the recorded one, or that were never
/// completed; the next sync fetches them again.
VerifyOutcome verify_cache(const std::filesystem::path& root, const os::LockWaiting& waiting);

}  // namespace zarn::cache
