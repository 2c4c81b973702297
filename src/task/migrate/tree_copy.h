#pragma once

#include <sys/types.h>

#include <cstddef>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace zarn::migrate {

/// What a folder holds, collected before anything is copied, so that a copy
/// made into the folder itself cannot feed on its own output.
struct TreeSnapshot {
  struct File {
    std::filesystem::path relative;
    dev_t device;
    ino_t inode;
  };
  /// A symbolic link that leads out of the boundary, kept as a link.
  struct OutsideLink {
    std::filesystem::path relative;
    std::filesystem::path target;  ///< absolute, links resolved
    bool to_file;                  ///< leads to a regular file
  };
  std::vector<std::filesystem::path> folders;  ///< relative, each after its parent
  std::vector<File> files;
  std::vector<OutsideLink> outside_links;
};

/// Walks root, following the symbolic links that lead to a place inside
/// boundary (an absolute path without links). Regular files (and links to
/// them) are collected; a link back to a folder above it is not followed
/// again, and special files and links that lead nowhere are left out. A link
/// that leads outside boundary is collected as such and not followed, so
/// nothing from elsewhere (a key in ~/.ssh, /etc) is read. Throws, naming the
/// path, when root is not a folder or a folder cannot be read. A root that is
/// itself a link out of boundary holds nothing: it is copied as a link.
TreeSnapshot snapshot_tree(const std::filesystem::path& root,
                           const std::filesystem::path& boundary);

/// Number of files below root at any depth, as snapshot_tree collects them:
/// files, and links out of boundary that lead to a file.
std::size_t count_files(const std::filesystem::path& root, const std::filesystem::path& boundary);

/// Copies the tree at source into target, creating target and merging into
/// what is already there: files of the same name are overwritten, others are
/// left alone. Each file keeps its permission bits and access and
/// modification times. A link that leads out of boundary becomes a link to
/// the same absolute place, source itself included. checkpoint runs before each file and may throw
/// to stop the copy. Throws, naming the path, on the first failure; what was copied before stays.
void copy_tree(const std::filesystem::path& source, const std::filesystem::path& target,
               const std::filesystem::path& boundary, const std::function<void()>& checkpoint = {});

}  // namespace zarn::migrate
