#include "support/file_tree.h"

#include <fcntl.h>

#include <stdexcept>

#include "support/temp_dir.h"

namespace zarn::testing {

std::map<std::string, std::string> file_tree(const std::filesystem::path& root) {
  std::map<std::string, std::string> tree;
  if (!std::filesystem::exists(root)) return tree;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
    const std::string relative = entry.path().lexically_relative(root).string();
    if (entry.is_symlink()) {
      tree[relative] = "-> " + std::filesystem::read_symlink(entry.path()).string();
    } else if (entry.is_directory()) {
      tree[relative] = "<dir>";
    } else {
      tree[relative] = read_file(entry.path());
    }
  }
  return tree;
}

std::string lines(std::initializer_list<std::string_view> texts) {
  std::string result;
  for (const auto text : texts) {
    result += text;
    result += '\n';
  }
  return result;
}

std::filesystem::perms mode_of(const std::filesystem::path& path) {
  return std::filesystem::status(path).permissions();
}

void set_mode(const std::filesystem::path& path, std::filesystem::perms mode) {
  std::filesystem::permissions(path, mode);
}

FileTimes times_of(const std::filesystem::path& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) throw std::runtime_error("cannot stat " + path.string());
  return {info.st_atim, info.st_mtim};
}

void set_times(const std::filesystem::path& path, const FileTimes& times) {
  const timespec values[2] = {times.access, times.modification};
  if (::utimensat(AT_FDCWD, path.c_str(), values, 0) != 0) {
    throw std::runtime_error("cannot set times of " + path.string());
  }
}

bool operator==(const FileTimes& a, const FileTimes& b) {
  return a.access.tv_sec == b.access.tv_sec && a.access.tv_nsec == b.access.tv_nsec &&
         a.modification.tv_sec == b.modification.tv_sec &&
         a.modification.tv_nsec == b.modification.tv_nsec;
}

}  // namespace zarn::testing
