#include "cache/cache_maintenance.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <memory>

#include "cache/driver_cache.h"
#include "net/sha1.h"
#include "os/atomic_file.h"
#include "os/file_error.h"
#include "os/unique_fd.h"

namespace zarn::cache {
namespace {

namespace fs = std::filesystem;

/// The regular files below root, sorted; none when root does not exist.
std::vector<fs::path> files_below(const fs::path& root) {
  std::vector<fs::path> files;
  std::error_code error;
  if (!fs::is_directory(root, error)) return files;
  for (auto it = fs::recursive_directory_iterator(root, error);
       !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
    if (it->is_regular_file(error) && !it->is_symlink(error)) files.push_back(it->path());
  }
  if (error) os::throw_file_error("list", root, error.value());
  std::sort(files.begin(), files.end());
  return files;
}

std::string sha1_of_file(const fs::path& path) {
  const os::UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd.valid()) os::throw_file_error("read", path, errno);
  net::Sha1 sha1;
  std::string buffer(1 << 20, '\0');
  while (true) {
    const ssize_t got = ::read(fd.get(), buffer.data(), buffer.size());
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) os::throw_file_error("read", path, errno);
    if (got == 0) break;
    sha1.update(std::string_view(buffer.data(), static_cast<std::size_t>(got)));
  }
  return sha1.hex_digest();
}

/// Why the archive entry at path is bad; "" when it is sound.
std::string fault_of(const fs::path& path) {
  const auto size = recorded_size(path);
  if (!size) return "incomplete entry";
  std::error_code error;
  if (fs::file_size(path, error) != *size || error) return "size changed";
  const std::string expected = recorded_sha1(path);
  if (expected.empty()) return "no checksum recorded";
  if (sha1_of_file(path) != expected) return "checksum mismatch";
  return "";
}

/// Whether a file of that name is one the cache writes: an entry, its
/// records, or a temporary of one. A folder named by mistake (ZARN_CACHE_DIR
/// set to a home folder) loses nothing else to a clean.
bool is_cache_file(const std::string& name) {
  if (os::is_atomic_temporary_name(name)) return true;
  for (const std::string_view suffix : {".jar", ".jar.sha1", ".jar.size", ".pom", ".pom.absent"}) {
    if (name.ends_with(suffix)) return true;
  }
  return false;
}

/// Removes the folders below root that hold nothing any more, deepest first.
void remove_empty_folders(const fs::path& root) {
  std::vector<fs::path> folders;
  std::error_code error;
  for (auto it = fs::recursive_directory_iterator(root, error);
       !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
    if (it->is_directory(error) && !it->is_symlink(error)) folders.push_back(it->path());
  }
  std::sort(folders.rbegin(), folders.rend());  // a folder sorts before what it holds
  for (const fs::path& folder : folders) ::rmdir(folder.c_str());  // fails when not empty
}

/// Counts one file of bytes in usage, as an archive or a descriptor by its name.
void add_file(CacheUsage& usage, const fs::path& file, std::uintmax_t bytes) {
  usage.bytes += bytes;
  const auto extension = file.extension();
  if (extension == ".jar") ++usage.archives;
  if (extension == ".pom") ++usage.descriptors;
}

/// The cache folder held exclusively, and the files below it; neither when
/// the folder does not exist.
struct LockedFiles {
  std::unique_ptr<os::FolderLock> lock;
  std::vector<fs::path> files;
};

LockedFiles lock_files(const fs::path& root, const os::LockWaiting& waiting) {
  LockedFiles locked;
  std::error_code error;
  if (!fs::is_directory(root, error)) return locked;
  locked.lock = std::make_unique<os::FolderLock>(root, waiting);
  locked.files = files_below(root);
  return locked;
}

}  // namespace

CacheUsage cache_usage(const fs::path& root) {
  CacheUsage usage;
  for (const fs::path& file : files_below(root)) {
    std::error_code error;
    const auto size = fs::file_size(file, error);
    add_file(usage, file, error ? 0 : size);
  }
  return usage;
}

CacheUsage clean_cache(const fs::path& root, const os::LockWaiting& waiting) {
  CacheUsage removed;
  const LockedFiles locked = lock_files(root, waiting);
  for (const fs::path& file : locked.files) {
    if (!is_cache_file(file.filename().string())) continue;
    std::error_code error;
    const auto size = fs::file_size(file, error);
    if (::unlink(file.c_str()) != 0) os::throw_file_error("remove", file, errno);
    add_file(removed, file, error ? 0 : size);
  }
  if (locked.lock) remove_empty_folders(root);
  return removed;
}

VerifyOutcome verify_cache(const fs::path& root, const os::LockWaiting& waiting) {
  VerifyOutcome outcome;
  const LockedFiles locked = lock_files(root, waiting);
  for (const fs::path& file : locked.files) {
    if (file.extension() != ".jar" || file.filename().string().starts_with(".")) continue;
    ++outcome.checked;
    std::string reason = fault_of(file);
    if (reason.empty()) continue;
    drop_archive(file);
    outcome.dropped.push_back({file.lexically_relative(root).string(), std::move(reason)});
  }
  return outcome;
}

}  // namespace zarn::cache
