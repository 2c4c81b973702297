#include "os/file_link.h"

#include <unistd.h>

#include <cerrno>
#include <random>
#include <string>

#include "os/file_error.h"
#include "os/files.h"

namespace zarn::os {
namespace {

/// A name beside to shaped like an AtomicFile temporary, so a link left by
/// a killed process is removed as stale by the next writer of to.
std::filesystem::path link_temporary(const std::filesystem::path& to) {
  static std::mt19937_64 random{std::random_device{}()};
  constexpr std::string_view kLetters = "abcdefghijklmnopqrstuvwxyz0123456789";
  std::string suffix;
  for (int i = 0; i < 6; ++i) suffix += kLetters[random() % kLetters.size()];
  return to.parent_path() /
         ("." + to.filename().string() + ".zarn-tmp-" + std::to_string(::getpid()) + "-" + suffix);
}

/// Errors of link() that mean "this file system will not link these", not a failure.
bool cannot_link_here(int error) {
  return error == EXDEV || error == EPERM || error == EMLINK || error == ENOTSUP ||
         error == EOPNOTSUPP || error == ENOSYS;
}

}  // namespace

Placement place_file(const std::filesystem::path& from, const std::filesystem::path& to,
                     bool allow_link) {
  if (allow_link) {
    for (int attempt = 0; attempt < 3; ++attempt) {
      const std::filesystem::path temporary = link_temporary(to);
      if (::link(from.c_str(), temporary.c_str()) != 0) {
        if (errno == EEXIST) continue;  // a name taken by chance: draw another
        if (cannot_link_here(errno)) break;
        throw_file_error("link", from, errno);
      }
      if (::rename(temporary.c_str(), to.c_str()) != 0) {
        const int error = errno;
        ::unlink(temporary.c_str());
        throw_file_error("replace", to, error);
      }
      // When to already was this file, rename does nothing and the name stays.
      ::unlink(temporary.c_str());
      return Placement::kLinked;
    }
  }
  copy_file_atomic(from, to);
  return Placement::kCopied;
}

}  // namespace zarn::os
