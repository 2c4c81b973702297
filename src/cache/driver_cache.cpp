#include "cache/driver_cache.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>

#include "cache/cache_folder.h"
#include "os/atomic_file.h"
#include "os/file_error.h"
#include "os/file_link.h"
#include "os/files.h"

namespace zarn::cache {
namespace {

namespace fs = std::filesystem;

constexpr auto kReadOnly = fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read;

fs::path beside(const fs::path& entry, std::string_view suffix) {
  return entry.parent_path() / (entry.filename().string() + std::string(suffix));
}

/// Writes a read-only entry file. What a repository holds can be fetched
/// again, so the rename does not wait for the disk.
void write_entry(const fs::path& path, std::string_view content) {
  os::AtomicFile file(path);
  file.write(content);
  file.set_final_mode(kReadOnly);
  file.commit(os::AtomicFile::Durability::kProcessSafe);
}

fs::path created(fs::path folder) {
  create_cache_folder(folder);
  return folder;
}

std::optional<std::string> read_if_present(const fs::path& path) {
  try {
    return os::read_text_file(path);
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

}  // namespace

std::optional<std::uint64_t> recorded_size(const fs::path& entry) {
  const auto text = read_if_present(beside(entry, ".size"));
  if (!text) return std::nullopt;
  std::uint64_t size = 0;
  const char* end = text->data() + text->size();
  const auto [rest, error] = std::from_chars(text->data(), end, size);
  if (error != std::errc() || rest == text->data() || std::string_view(rest, end) != "\n") {
    return std::nullopt;
  }
  return size;
}

std::string recorded_sha1(const fs::path& entry) {
  const std::string text = read_if_present(beside(entry, ".sha1")).value_or("");
  return text.substr(0, text.find_first_of(" \t\r\n"));
}

void drop_archive(const fs::path& entry) {
  // The size record goes first: without it the rest is no entry any more.
  for (const std::string_view suffix : {".size", ".sha1", ""}) {
    const fs::path path = beside(entry, suffix);
    if (::unlink(path.c_str()) != 0 && errno != ENOENT) os::throw_file_error("remove", path, errno);
  }
}

DriverCache::DriverCache(fs::path root, const os::LockWaiting& waiting)
    : root_(created(std::move(root))), lock_(root_, waiting, os::FolderLock::Kind::kShared) {}

bool DriverCache::has_archive(const fs::path& relative) const {
  const fs::path entry = root_ / relative;
  const auto size = recorded_size(entry);
  if (!size) return false;
  struct stat info {};
  if (::lstat(entry.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
      static_cast<std::uint64_t>(info.st_size) == *size) {
    return true;
  }
  // Truncated, appended to or replaced: never handed to a project.
  try {
    drop_archive(entry);
  } catch (const std::exception&) {
    // a read-only cache: the entry is still not used
  }
  return false;
}

bool DriverCache::place_archive(const fs::path& relative, const fs::path& dest,
                                bool allow_link) const {
  if (!has_archive(relative)) return false;
  os::place_file(root_ / relative, dest, allow_link);
  return true;
}

void DriverCache::keep_archive(const fs::path& relative, const fs::path& source,
                               std::string_view sha1, std::uint64_t size) const {
  const fs::path entry = root_ / relative;
  os::create_folders(entry.parent_path());
  os::remove_stale_temporaries(entry);  // a link left by a killed sync
  os::place_file(source, entry);
  // Also the mode of the project's link: a write through it fails instead
  // of changing the archive of every project.
  if (::chmod(entry.c_str(), 0444) != 0) os::throw_file_error("set the mode of", entry, errno);
  write_entry(beside(entry, ".sha1"), std::string(sha1) + "\n");
  write_entry(beside(entry, ".size"), std::to_string(size) + "\n");
}

std::optional<std::string> DriverCache::descriptor(const fs::path& relative) const {
  return read_if_present(root_ / relative);
}

void DriverCache::keep_descriptor(const fs::path& relative, std::string_view body) const {
  const fs::path entry = root_ / relative;
  os::create_folders(entry.parent_path());
  write_entry(entry, body);
}

void DriverCache::keep_absence(const fs::path& relative, std::string_view repository) const {
  const fs::path entry = root_ / relative;
  os::create_folders(entry.parent_path());
  write_entry(beside(entry, ".absent"), std::string(repository) + "\n");
}

bool DriverCache::is_absent(const fs::path& relative, std::string_view repository) const {
  const auto text = read_if_present(beside(root_ / relative, ".absent"));
  return text && *text == std::string(repository) + "\n";
}

void DriverCache::drop_descriptor(const fs::path& relative) const {
  const fs::path entry = root_ / relative;
  if (::unlink(entry.c_str()) != 0 && errno != ENOENT) os::throw_file_error("remove", entry, errno);
}

}  // namespace zarn::cache
