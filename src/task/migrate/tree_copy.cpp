#include "task/migrate/tree_copy.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>
#include <stdexcept>
#include <utility>

#include "os/file_error.h"
#include "os/files.h"

namespace zarn::migrate {
namespace {

namespace fs = std::filesystem;

using FolderId = std::pair<dev_t, ino_t>;

struct Entry {
  std::string name;
  struct stat info;  ///< of what a link leads to
  bool is_link;
};

/// The entries of one folder, links followed, in name order; links that lead
/// nowhere are dropped.
std::vector<Entry> read_folder(const fs::path& folder) {
  DIR* stream = ::opendir(folder.c_str());
  if (stream == nullptr) os::throw_file_error("read folder", folder, errno);
  std::vector<Entry> entries;
  errno = 0;
  while (const dirent* item = ::readdir(stream)) {
    const std::string_view name = item->d_name;
    if (name == "." || name == "..") continue;
    Entry entry{std::string(name), {}, item->d_type == DT_LNK};
    if (item->d_type == DT_UNKNOWN) {
      struct stat own {};
      entry.is_link = ::fstatat(::dirfd(stream), item->d_name, &own, AT_SYMLINK_NOFOLLOW) == 0 &&
                      S_ISLNK(own.st_mode);
    }
    if (::fstatat(::dirfd(stream), item->d_name, &entry.info, 0) == 0) {
      entries.push_back(std::move(entry));
    } else if (errno != ENOENT && errno != ELOOP) {
      const int error = errno;
      ::closedir(stream);
      os::throw_file_error("read", folder / name, error);
    }
    errno = 0;
  }
  const int error = errno;
  ::closedir(stream);
  if (error != 0) os::throw_file_error("read folder", folder, error);
  std::sort(entries.begin(), entries.end(),
            [](const Entry& a, const Entry& b) { return a.name < b.name; });
  return entries;
}

/// Where a link leads, when that lies outside boundary.
std::optional<fs::path> outside_target(const fs::path& link, const fs::path& boundary) {
  std::error_code error;
  const fs::path target = fs::canonical(link, error);
  if (error) os::throw_file_error("read", link, error.value());
  const fs::path inner = target.lexically_relative(boundary);
  if (!inner.empty() && *inner.begin() != "..") return std::nullopt;
  return target;
}

struct Walk {
  const fs::path& root;
  const fs::path& boundary;
  std::vector<FolderId> ancestors;
  TreeSnapshot snapshot;
};

void walk(Walk& state, const fs::path& relative) {
  TreeSnapshot& snapshot = state.snapshot;
  for (const Entry& entry : read_folder(state.root / relative)) {
    const fs::path path = relative / entry.name;
    if (entry.is_link) {
      if (auto target = outside_target(state.root / path, state.boundary)) {
        snapshot.outside_links.push_back({path, *target, S_ISREG(entry.info.st_mode)});
        continue;
      }
    }
    if (S_ISREG(entry.info.st_mode)) {
      snapshot.files.push_back({path, entry.info.st_dev, entry.info.st_ino});
    } else if (S_ISDIR(entry.info.st_mode)) {
      const FolderId id{entry.info.st_dev, entry.info.st_ino};
      std::vector<FolderId>& ancestors = state.ancestors;
      if (std::find(ancestors.begin(), ancestors.end(), id) != ancestors.end()) continue;
      snapshot.folders.push_back(path);
      ancestors.push_back(id);
      walk(state, path);
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
  if (::lstat(to.c_str(), &existing) == 0 && existing.st_dev == file.device &&
      existing.st_ino == file.inode) {
    return;  // already the very same file
  }
  // Renamed over the destination: a link there is replaced, not written
  // through, and a stopped copy leaves the old file whole.
  os::copy_file_atomic(from, to);
}

/// Makes to a link to target, replacing a file or link of that name.
void copy_link(const fs::path& to, const fs::path& target) {
  struct stat existing {};
  if (::lstat(to.c_str(), &existing) == 0) {
    if (S_ISDIR(existing.st_mode)) {
      throw std::runtime_error("cannot replace folder " + to.string() + " with a link to " +
                               target.string() + ", which lies outside the project");
    }
    if (::unlink(to.c_str()) != 0) os::throw_file_error("replace", to, errno);
  }
  if (::symlink(target.c_str(), to.c_str()) != 0) os::throw_file_error("create link", to, errno);
}

/// Where root leads, when root is itself a link out of boundary.
std::optional<fs::path> outside_root(const fs::path& root, const fs::path& boundary) {
  struct stat own {};
  if (::lstat(root.c_str(), &own) != 0 || !S_ISLNK(own.st_mode)) return std::nullopt;
  return outside_target(root, boundary);
}

}  // namespace

TreeSnapshot snapshot_tree(const fs::path& root, const fs::path& boundary) {
  // The copied folder's own link is judged like any link below it.
  if (outside_root(root, boundary)) return {};
  struct stat info {};
  if (::stat(root.c_str(), &info) != 0) os::throw_file_error("read folder", root, errno);
  if (!S_ISDIR(info.st_mode))
    throw std::runtime_error("cannot copy " + root.string() + ": not a folder");
  Walk state{root, boundary, {{info.st_dev, info.st_ino}}, {}};
  walk(state, fs::path());
  return std::move(state.snapshot);
}

std::size_t count_files(const fs::path& root, const fs::path& boundary) {
  const TreeSnapshot snapshot = snapshot_tree(root, boundary);
  return snapshot.files.size() + static_cast<std::size_t>(std::count_if(
                                     snapshot.outside_links.begin(), snapshot.outside_links.end(),
                                     [](const auto& link) { return link.to_file; }));
}

void copy_tree(const fs::path& source, const fs::path& target, const fs::path& boundary,
               const std::function<void()>& checkpoint) {
  if (const auto outside = outside_root(source, boundary)) {
    copy_link(target, *outside);
    return;
  }
  TreeSnapshot snapshot = snapshot_tree(source, boundary);
  os::create_folder(target);
  for (const fs::path& folder : snapshot.folders) os::create_folder(target / folder);
  order_for_nested_target(source, target, snapshot.files);
  for (const TreeSnapshot::File& file : snapshot.files) {
    if (checkpoint) checkpoint();
    copy_one(source / file.relative, target / file.relative, file);
  }
  for (const TreeSnapshot::OutsideLink& link : snapshot.outside_links) {
    copy_link(target / link.relative, link.target);
  }
}

}  // namespace zarn::migrate
