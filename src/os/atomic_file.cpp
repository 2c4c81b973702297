#include "os/atomic_file.h"

#include "os/file_error.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <mutex>
#include <set>
#include <stdexcept>
#include <string>

namespace zarn::os {
namespace {

constexpr std::string_view kTemporaryMarker = ".zarn-tmp-";

mode_t mode_for(const std::filesystem::path& target,
                std::optional<std::filesystem::perms> new_file_mode) {
  struct stat existing {};
  if (::stat(target.c_str(), &existing) == 0) return existing.st_mode & 07777;
  if (new_file_mode) return static_cast<mode_t>(*new_file_mode);
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return 0666 & ~mask;
}

/// The temporaries this process has open, so a shutdown on a signal can
/// remove them. The mutex also orders a shutdown against a rename.
struct LiveTemporaries {
  std::mutex mutex;
  std::set<std::string> paths;
};

LiveTemporaries& live() {
  static LiveTemporaries* registry = new LiveTemporaries;  // outlives every static destructor
  return *registry;
}

/// The writer's process id in a temporary's name, or 0 when it has none.
pid_t writer_of(std::string_view name) {
  const std::size_t marker = name.find(kTemporaryMarker);
  if (marker == std::string_view::npos) return 0;
  std::string_view rest = name.substr(marker + kTemporaryMarker.size());
  const std::size_t dash = rest.find('-');
  if (dash == std::string_view::npos || dash == 0) return 0;
  pid_t pid = 0;
  for (const char c : rest.substr(0, dash)) {
    if (c < '0' || c > '9' || pid > 100000000) return 0;
    pid = pid * 10 + (c - '0');
  }
  return pid;
}

/// Gives the new file the old one's owner and group, so a rewrite by root
/// (sudo keeping HOME) leaves a user's file theirs. Where the process may
/// not, the file stays the writer's, as a new file would.
void keep_owner(int fd, const std::filesystem::path& target) {
  struct stat old_file {};
  struct stat new_file {};
  if (::stat(target.c_str(), &old_file) != 0 || ::fstat(fd, &new_file) != 0) return;
  if (old_file.st_uid == new_file.st_uid && old_file.st_gid == new_file.st_gid) return;
  if (::fchown(fd, old_file.st_uid, old_file.st_gid) == 0) return;
  // Not allowed to give it away: the group alone may still be ours to keep.
  static_cast<void>(::fchown(fd, static_cast<uid_t>(-1), old_file.st_gid));
}

bool process_alive(pid_t pid) {
  return ::kill(pid, 0) == 0 || errno == EPERM;
}

}  // namespace

AtomicFile::AtomicFile(std::filesystem::path target,
                       std::optional<std::filesystem::perms> new_file_mode, Sweep sweep)
    : target_(std::move(target)), new_file_mode_(new_file_mode) {
  if (sweep == Sweep::kLeftovers) remove_stale_temporaries(target_);
  std::string name(".");
  name.append(target_.filename().string())
      .append(kTemporaryMarker)
      .append(std::to_string(::getpid()))
      .append("-XXXXXX");
  std::string pattern = (target_.parent_path() / name).string();
  LiveTemporaries& registry = live();
  const std::lock_guard guard(registry.mutex);
  // mkostemp creates the file readable by its owner only.
  fd_ = UniqueFd(::mkostemp(pattern.data(), O_CLOEXEC));
  if (!fd_.valid()) throw_file_error("create a temporary file for", target_, errno);
  temporary_ = pattern;
  registry.paths.insert(pattern);
  ::flock(fd_.get(), LOCK_EX | LOCK_NB);  // a new file: nobody else can hold it
}

AtomicFile::~AtomicFile() {
  if (!committed_ && !temporary_.empty()) {
    LiveTemporaries& registry = live();
    const std::lock_guard guard(registry.mutex);
    ::unlink(temporary_.c_str());
    registry.paths.erase(temporary_.string());
  }
}

void AtomicFile::write(std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t written = ::write(fd_.get(), bytes.data(), bytes.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      throw_file_error("write", target_, errno);
    }
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
}

void AtomicFile::commit(Durability durability) {
  const mode_t mode =
      final_mode_ ? static_cast<mode_t>(*final_mode_) : mode_for(target_, new_file_mode_);
  keep_owner(fd_.get(), target_);
  if (::fchmod(fd_.get(), mode) != 0) throw_file_error("set the mode of", target_, errno);
  if (durability == Durability::kOnDisk && ::fsync(fd_.get()) != 0)
    throw_file_error("write", target_, errno);
  {
    LiveTemporaries& registry = live();
    const std::lock_guard guard(registry.mutex);
    if (::rename(temporary_.c_str(), target_.c_str()) != 0)
      throw_file_error("replace", target_, errno);
    registry.paths.erase(temporary_.string());
    committed_ = true;
  }
  // Closed only after the rename: until then the lock tells others the writer lives.
  const int closed = ::close(fd_.release());
  if (closed != 0) throw_file_error("write", target_, errno);
}

bool is_atomic_temporary_name(std::string_view name) {
  return name.starts_with('.') && name.find(kTemporaryMarker) != std::string_view::npos;
}

bool is_stale_temporary(const std::filesystem::path& path) {
  const std::string name = path.filename().string();
  if (!is_atomic_temporary_name(name)) return false;
  const pid_t writer = writer_of(name);
  if (writer != 0 && process_alive(writer)) return false;
  const UniqueFd fd(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  if (!fd.valid()) return false;
  struct stat info {};
  return ::fstat(fd.get(), &info) == 0 && S_ISREG(info.st_mode) &&
         ::flock(fd.get(), LOCK_EX | LOCK_NB) == 0;
}

void remove_stale_temporaries(const std::filesystem::path& target) {
  const std::filesystem::path folder =
      target.has_parent_path() ? target.parent_path() : std::filesystem::path(".");
  const std::string prefix = "." + target.filename().string() + std::string(kTemporaryMarker);
  DIR* stream = ::opendir(folder.c_str());
  if (stream == nullptr) return;  // creating the temporary says what is wrong
  while (const dirent* entry = ::readdir(stream)) {
    const std::string_view name = entry->d_name;
    if (!name.starts_with(prefix)) continue;
    const std::filesystem::path path = folder / name;
    if (is_stale_temporary(path)) ::unlink(path.c_str());
  }
  ::closedir(stream);
}

void remove_live_temporaries() noexcept {
  LiveTemporaries& registry = live();
  const std::lock_guard guard(registry.mutex);
  for (const std::string& path : registry.paths) ::unlink(path.c_str());
  registry.paths.clear();
}

void write_file_atomic(const std::filesystem::path& path, std::string_view content,
                       std::optional<std::filesystem::perms> new_file_mode) {
  AtomicFile file(path, new_file_mode);
  file.write(content);
  file.commit();
}

}  // namespace zarn::os
