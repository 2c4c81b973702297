#include "task/migrate/tree_copy.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <utility>

#include "host/files.h"

namespace zarn::migrate {
namespace {

namespace fs = std::filesystem;

[[noreturn]] void fail(const std::string& action, const fs::path& path, int error) {
  throw std::runtime_error("cannot " + action + " " + path.string() + ": " + std::strerror(error));
}

using FolderId = std::pair<dev_t, ino_t>;

struct Entry {
  std::string name;
  struct stat info;
};

/// The entries of one folder, links followed, in name order; links that lead
/// nowhere are dropped.
std::vector<Entry> read_folder(const fs::path& folder) {
  DIR* stream = ::opendir(folder.c_str());
  if (stream == nullptr) fail("read folder", folder, errno);
  std::vector<Entry> entries;
  errno = 0;
  while (const dirent* item = ::readdir(stream)) {
    const std::string_view name = item->d_name;
    if (name == "." || name == "..") continue;
    Entry entry{std::string(name), {}};
    if (::fstatat(::dirfd(stream), item->d_name, &entry.info, 0) == 0) {
      entries.push_back(std::move(entry));
    } else if (errno != ENOENT && errno != ELOOP) {
      const int error = errno;
      ::closedir(stream);
      fail("read", folder / name, error);
    }
    errno = 0;
  }
  const int error = errno;
  ::closedir(stream);
  if (error != 0) fail("read folder", folder, error);
  std::sort(entries.begin(), entries.end(),
            [](const Entry& a, const Entry& b) { return a.name < b.name; });
  return entries;
}

void walk(const fs::path& root, const fs::path& relative, std::vector<FolderId>& ancestors,
          TreeSnapshot& snapshot) {
  for (const Entry& entry : read_folder(root / relative)) {
    const fs::path path = relative / entry.name;
    if (S_ISREG(entry.info.st_mode)) {
      snapshot.files.push_back({path, entry.info.st_dev, entry.info.st_ino});
    } else if (S_ISDIR(entry.info.st_mode)) {
      const FolderId id{entry.info.st_dev, entry.info.st_ino};
      if (std::find(ancestors.begin(), ancestors.end(), id) != ancestors.end()) continue;
      snapshot.folders.push_back(path);
      ancestors.push_back(id);
      walk(root, path, ancestors, snapshot);
      ancestors.pop_back();
    }
  }
}

/// How many times prefix opens path one after another ("a/a/x" holds "a" twice).
std::size_t repeated_prefix(const fs::path& path, const std::vector<fs::path>& prefix) {
  std::size_t count = 0;
  auto part = path.begin();
  while (true) {
    for (const fs::path& expected : prefix) {
      if (part == path.end() || *part != expected) return count;
      ++part;
    }
    ++count;
  }
}

/// When target lies inside source, a file of the source may be overwritten by
/// the copy of another: source/x lands on target/x = source/{inner}/x. Copying
/// the files that lie deeper inside the target first reads each one before
/// anything is written over it.
void order_for_nested_target(const fs::path& source, const fs::path& target,
                             std::vector<TreeSnapshot::File>& files) {
  std::error_code ignored;
  const fs::path inner =
      fs::canonical(target, ignored).lexically_relative(fs::canonical(source, ignored));
  if (inner.empty() || *inner.begin() == "..") return;
  const std::vector<fs::path> prefix(inner.begin(), inner.end());
  if (prefix.size() == 1 && prefix.front() == ".") return;
  std::stable_sort(files.begin(), files.end(), [&prefix](const auto& a, const auto& b) {
    return repeated_prefix(a.relative, prefix) > repeated_prefix(b.relative, prefix);
  });
}

void copy_one(const fs::path& from, const fs::path& to, const TreeSnapshot::File& file) {
  struct stat existing {};
  if (::lstat(to.c_str(), &existing) == 0) {
    // A link at the destination is replaced, not written through.
    if (S_ISLNK(existing.st_mode)) {
      if (::unlink(to.c_str()) != 0) fail("replace", to, errno);
    } else if (existing.st_dev == file.device && existing.st_ino == file.inode) {
      return;  // already the very same file
    }
  }
  host::copy_file_with_metadata(from, to);
}

}  // namespace

TreeSnapshot snapshot_tree(const fs::path& root) {
  struct stat info {};
  if (::stat(root.c_str(), &info) != 0) fail("read folder", root, errno);
  if (!S_ISDIR(info.st_mode))
    throw std::runtime_error("cannot copy " + root.string() + ": not a folder");
  TreeSnapshot snapshot;
  std::vector<FolderId> ancestors{{info.st_dev, info.st_ino}};
  walk(root, fs::path(), ancestors, snapshot);
  return snapshot;
}

std::size_t count_files(const fs::path& root) {
  return snapshot_tree(root).files.size();
}

void copy_tree(const fs::path& source, const fs::path& target) {
  TreeSnapshot snapshot = snapshot_tree(source);
  host::create_folder(target);
  for (const fs::path& folder : snapshot.folders) host::create_folder(target / folder);
  order_for_nested_target(source, target, snapshot.files);
  for (const TreeSnapshot::File& file : snapshot.files) {
    copy_one(source / file.relative, target / file.relative, file);
  }
}

}  // namespace zarn::migrate
