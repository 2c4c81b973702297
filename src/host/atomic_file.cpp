#include "host/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <string>

namespace zarn::host {
namespace {

constexpr std::string_view kTemporaryMarker = ".zarn-tmp-";

[[noreturn]] void fail(const std::string& action, const std::filesystem::path& path, int error) {
  throw std::runtime_error("cannot " + action + " " + path.string() + ": " + std::strerror(error));
}

mode_t mode_for(const std::filesystem::path& target,
                std::optional<std::filesystem::perms> new_file_mode) {
  struct stat existing {};
  if (::stat(target.c_str(), &existing) == 0) return existing.st_mode & 07777;
  if (new_file_mode) return static_cast<mode_t>(*new_file_mode);
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return 0666 & ~mask;
}

}  // namespace

AtomicFile::AtomicFile(std::filesystem::path target,
                       std::optional<std::filesystem::perms> new_file_mode)
    : target_(std::move(target)) {
  std::string name(".");
  name.append(target_.filename().string()).append(kTemporaryMarker).append("XXXXXX");
  std::string pattern = (target_.parent_path() / name).string();
  fd_ = ::mkostemp(pattern.data(), O_CLOEXEC);
  if (fd_ < 0) fail("create a temporary file for", target_, errno);
  temporary_ = pattern;
  if (::fchmod(fd_, mode_for(target_, new_file_mode)) != 0) {
    const int error = errno;
    ::close(fd_);
    ::unlink(temporary_.c_str());
    fd_ = -1;
    fail("set the mode of", temporary_, error);
  }
}

AtomicFile::~AtomicFile() {
  if (fd_ >= 0) ::close(fd_);
  if (!committed_ && !temporary_.empty()) ::unlink(temporary_.c_str());
}

void AtomicFile::write(std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t written = ::write(fd_, bytes.data(), bytes.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      fail("write", target_, errno);
    }
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
}

void AtomicFile::commit(Durability durability) {
  if (durability == Durability::kOnDisk && ::fsync(fd_) != 0) fail("write", target_, errno);
  const int closed = ::close(fd_);
  fd_ = -1;
  if (closed != 0) fail("write", target_, errno);
  if (::rename(temporary_.c_str(), target_.c_str()) != 0) fail("replace", target_, errno);
  committed_ = true;
}

bool is_atomic_temporary_name(std::string_view name) {
  return name.starts_with('.') && name.find(kTemporaryMarker) != std::string_view::npos;
}

void write_file_atomic(const std::filesystem::path& path, std::string_view content,
                       std::optional<std::filesystem::perms> new_file_mode) {
  AtomicFile file(path, new_file_mode);
  file.write(content);
  file.commit();
}

}  // namespace zarn::host
