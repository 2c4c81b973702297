#include "os/files.h"

#include "os/atomic_file.h"
#include "os/file_error.h"
#include "os/unique_fd.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace zarn::os {
namespace {

void copy_bytes(int from, int to, const std::filesystem::path& source,
                const std::filesystem::path& destination) {
  while (true) {
    const ssize_t copied = ::copy_file_range(from, nullptr, to, nullptr, 1 << 30, 0);
    if (copied == 0) return;
    if (copied > 0) continue;
    if (errno == EINTR) continue;
    if (errno != EXDEV && errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP) {
      throw_file_error("copy", source, errno);
    }
    break;
  }
  // Fallback for filesystems without copy_file_range.
  char buffer[1 << 16];
  while (true) {
    const ssize_t got = ::read(from, buffer, sizeof buffer);
    if (got == 0) return;
    if (got < 0) {
      if (errno == EINTR) continue;
      throw_file_error("read", source, errno);
    }
    for (ssize_t done = 0; done < got;) {
      const ssize_t put = ::write(to, buffer + done, static_cast<std::size_t>(got - done));
      if (put < 0) {
        if (errno == EINTR) continue;
        throw_file_error("write", destination, errno);
      }
      done += put;
    }
  }
}

/// Opens a regular file (a link to one included) for reading. Opened without
/// blocking, so a FIFO or a device is refused instead of waited for.
UniqueFd open_regular_file(const std::filesystem::path& path, struct stat& info) {
  UniqueFd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  if (fd.get() < 0) throw_file_error("read", path, errno);
  if (::fstat(fd.get(), &info) != 0) throw_file_error("read", path, errno);
  if (!S_ISREG(info.st_mode)) {
    // A folder is EISDIR, as open() of one for reading is; a FIFO or device EINVAL.
    const int error = S_ISDIR(info.st_mode) ? EISDIR : EINVAL;
    throw FileError("read", path, error, "not a regular file");
  }
  return fd;
}

[[noreturn]] void throw_too_large(const std::filesystem::path& path) {
  throw FileError("read", path, EFBIG,
                  "larger than " + std::to_string(kMaxTextFileBytes >> 20) +
                      " MiB, too large for a configuration file");
}

}  // namespace

bool entry_exists(const std::filesystem::path& path) {
  struct stat info {};
  return ::lstat(path.c_str(), &info) == 0;
}

std::string read_text_file(const std::filesystem::path& path) {
  struct stat info {};
  const UniqueFd fd = open_regular_file(path, info);
  if (info.st_size > static_cast<off_t>(kMaxTextFileBytes)) throw_too_large(path);
  std::string content;
  char buffer[1 << 16];
  while (true) {
    const ssize_t got = ::read(fd.get(), buffer, sizeof buffer);
    if (got == 0) break;
    if (got < 0) {
      if (errno == EINTR) continue;
      throw_file_error("read", path, errno);
    }
    content.append(buffer, static_cast<std::size_t>(got));
    if (content.size() > kMaxTextFileBytes) throw_too_large(path);  // grew while read
  }
  return content;
}

void copy_file_atomic(const std::filesystem::path& from, const std::filesystem::path& to) {
  struct stat info {};
  const UniqueFd source = open_regular_file(from, info);
  AtomicFile destination(to);
  copy_bytes(source.get(), destination.fd(), from, to);
  const timespec times[2] = {info.st_atim, info.st_mtim};
  if (::futimens(destination.fd(), times) != 0) throw_file_error("set the times of", to, errno);
  destination.set_final_mode(static_cast<std::filesystem::perms>(info.st_mode & 07777));
  destination.commit();
}

void create_folders(const std::filesystem::path& path) {
  std::error_code error;
  std::filesystem::create_directories(path, error);
  if (error) throw_file_error("create folder", path, error.value());
}

void create_folder(const std::filesystem::path& path) {
  if (::mkdir(path.c_str(), 0777) == 0) return;
  const int error = errno;
  struct stat info {};
  if (error == EEXIST && ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) return;
  throw_file_error("create folder", path, error);
}

}  // namespace zarn::os
