#include "task/provell/archive_names.h"

#include <fmt/format.h>
#include <sys/stat.h>

#include <cerrno>
#include <stdexcept>

#include "os/file_error.h"
#include "os/path_text.h"
#include "text/printable.h"

namespace zarn::provell {

bool holds_archive(const std::filesystem::path& path) {
  struct stat info {};
  if (::lstat(path.c_str(), &info) != 0) {
    if (errno == ENOENT || errno == ENOTDIR) return false;
    os::throw_file_error("check", path, errno);
  }
  if (S_ISREG(info.st_mode)) return info.st_size > 0;
  if (S_ISLNK(info.st_mode)) {
    if (::stat(path.c_str(), &info) != 0) {
      if (errno == ENOENT) return false;
      os::throw_file_error("check", path, errno);
    }
    if (S_ISREG(info.st_mode) && info.st_size > 0) return true;
    throw std::runtime_error(os::path_text(path) + " is a link to no archive, in the way");
  }
  throw std::runtime_error(os::path_text(path) +
                           (S_ISDIR(info.st_mode) ? " is a folder" : " is no file") +
                           ", in the way of the archive");
}

void ArchiveNames::claim(const std::string& name, const std::string& coord,
                         const std::string& url) {
  const auto [owner, inserted] = owners_.try_emplace(name, coord, url);
  if (inserted || owner->second.second == url) return;
  throw std::runtime_error(fmt::format("archive name {} is already used by {}", name,
                                       text::printable(owner->second.first)));
}

}  // namespace zarn::provell
