#include "cache/cache_folder.h"

#include <sys/stat.h>

#include <cerrno>
#include <stdexcept>

#include "os/file_error.h"
#include "os/files.h"
#include "os/path_text.h"

namespace zarn::cache {

std::filesystem::path cache_folder(const os::Environment& environment) {
  if (const auto folder = environment.get_non_empty("ZARN_CACHE_DIR")) return *folder;
  // A relative XDG_CACHE_HOME is invalid and ignored, as the base directory rules say.
  if (const auto xdg = environment.get_non_empty("XDG_CACHE_HOME");
      xdg && std::filesystem::path(*xdg).is_absolute()) {
    return std::filesystem::path(*xdg) / "zarn";
  }
  if (const auto home = environment.get_non_empty("HOME")) {
    return std::filesystem::path(*home) / ".cache" / "zarn";
  }
  throw std::runtime_error("cannot place the driver cache: set ZARN_CACHE_DIR or HOME");
}

void create_cache_folder(const std::filesystem::path& folder) {
  const std::filesystem::path parent = folder.parent_path();
  if (!parent.empty()) os::create_folders(parent);
  if (::mkdir(folder.c_str(), 0700) == 0) return;
  const int error = errno;
  struct stat info {};
  if (error == EEXIST && ::stat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) return;
  os::throw_file_error("create folder", folder, error);
}

std::string cache_folder_text(const std::filesystem::path& folder,
                              const os::Environment& environment) {
  std::string text = os::path_text(folder);
  const auto home = environment.get_non_empty("HOME");
  if (!home) return text;
  const std::string home_text = os::path_text(*home);
  if (home_text == "/" || !text.starts_with(home_text + "/")) return text;
  return "~" + text.substr(home_text.size());
}

}  // namespace zarn::cache
